// The text buffer: linear growth sizes, exact appends, cut formatting, and
// refusal of sizes that do not fit in 32 bits.
#include "Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string text(Buffer& buffer)
{
    return std::string(buffer.value(), buffer.length());
}

unsigned appendChars(Buffer& buffer, unsigned n)
{
    return buffer.write(std::string(n, 'x').data(), n);
}

} // namespace

TEST(Buffer, AllocatesNothingUntilUsed)
{
    Buffer buffer;
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_EQ(buffer.storageSize(), 0u);
}

TEST(Buffer, ValueOfANewBufferIsEmptyInAFirstBlock)
{
    Buffer buffer;
    ASSERT_NE(buffer.value(), nullptr);
    EXPECT_STREQ(buffer.value(), "");
    EXPECT_EQ(buffer.storageSize(), 256u);
    EXPECT_EQ(buffer.length(), 0u);
}

TEST(Buffer, FirstGrowthIsTheSmallestBlockThatHoldsTheText)
{
    const struct {
        unsigned chars;
        unsigned size;
    } cases[] = {{255, 256}, {256, 320}, {300, 320}, {319, 320}, {320, 384}, {321, 384}};
    for (const auto& c : cases) {
        Buffer buffer;
        EXPECT_EQ(appendChars(buffer, c.chars), c.chars);
        EXPECT_EQ(buffer.storageSize(), c.size) << c.chars << " characters";
        EXPECT_EQ(buffer.length(), c.chars);
    }
}

TEST(Buffer, LaterGrowthAddsSteps)
{
    Buffer buffer;
    appendChars(buffer, 250);
    ASSERT_EQ(buffer.storageSize(), 256u);
    appendChars(buffer, 5); // 255 + NUL fits exactly
    EXPECT_EQ(buffer.storageSize(), 256u);
    appendChars(buffer, 15); // 270
    EXPECT_EQ(buffer.storageSize(), 320u);
    appendChars(buffer, 200); // 470
    EXPECT_EQ(buffer.storageSize(), 512u);
    EXPECT_EQ(buffer.length(), 470u);

    Buffer other;
    appendChars(other, 250);
    appendChars(other, 200); // 450 from 256 in one growth
    EXPECT_EQ(other.storageSize(), 512u);
}

TEST(Buffer, EnsureFreeCapacityCountsFromTheText)
{
    Buffer buffer;
    EXPECT_TRUE(buffer.ensureFreeCapacity(0));
    EXPECT_EQ(buffer.storageSize(), 256u);
    appendChars(buffer, 100);
    EXPECT_TRUE(buffer.ensureFreeCapacity(156));
    EXPECT_EQ(buffer.storageSize(), 256u);
    EXPECT_TRUE(buffer.ensureFreeCapacity(157));
    EXPECT_EQ(buffer.storageSize(), 320u);
    EXPECT_EQ(text(buffer), std::string(100, 'x'));
}

TEST(Buffer, WriteCopiesExactlyTheBytes)
{
    Buffer buffer;
    EXPECT_EQ(buffer.write("ab\0cd", 5), 5u);
    EXPECT_EQ(buffer.write("e", 1), 1u);
    EXPECT_EQ(buffer.length(), 6u);
    EXPECT_EQ(text(buffer), std::string("ab\0cde", 6));
    EXPECT_EQ(buffer.value()[6], '\0');
}

TEST(Buffer, WriteOfNothingStillMakesATerminatedText)
{
    Buffer buffer;
    EXPECT_EQ(buffer.write("ignored", 0), 0u);
    EXPECT_EQ(buffer.storageSize(), 256u);
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_STREQ(buffer.value(), "");
}

TEST(Buffer, NwritefCutsTheTextAndStaysTerminated)
{
    Buffer buffer;
    EXPECT_EQ(buffer.nwritef(3, "%s%d", "abcde", 42), 3u);
    EXPECT_STREQ(buffer.value(), "abc");
    EXPECT_EQ(buffer.length(), 3u);
    EXPECT_EQ(buffer.nwritef(10, "-%d-", 7), 3u);
    EXPECT_STREQ(buffer.value(), "abc-7-");
}

TEST(Buffer, WritefAppendsTheWholeText)
{
    Buffer buffer;
    EXPECT_EQ(buffer.writef("%s=%d", "key", 12), 6u);
    std::string longer(400, 'y');
    EXPECT_EQ(buffer.writef(",%s", longer.c_str()), 401u);
    EXPECT_EQ(text(buffer), "key=12," + longer);
    EXPECT_EQ(buffer.storageSize(), 448u);
}

TEST(Buffer, EmptyWritefChangesNothing)
{
    Buffer buffer;
    buffer.writef("%s", "kept");
    EXPECT_EQ(buffer.writef("%s", ""), 0u);
    EXPECT_STREQ(buffer.value(), "kept");
    EXPECT_EQ(buffer.length(), 4u);
}

// Counts near 2^32 used to wrap around and "fit"; they must fail before
// anything is allocated or copied, and leave the text as it was.
TEST(Buffer, SizesBeyond32BitsFailAndKeepTheText)
{
    Buffer buffer;
    buffer.writef("abc");
    const char data[] = "zz";

    EXPECT_EQ(buffer.write(data, UINT32_MAX), 0u);           // n + 1 overflows
    EXPECT_EQ(buffer.write(data, UINT32_MAX - 3), 0u);       // used + n + 1 overflows
    EXPECT_FALSE(buffer.ensureFreeCapacity(UINT32_MAX - 2)); // used + n overflows
    // The need fits in 32 bits, the rounded-up block does not.
    EXPECT_FALSE(buffer.ensureFreeCapacity(UINT32_MAX - 3));
    EXPECT_EQ(buffer.nwritef(UINT32_MAX, "%s", data), 0u);
    EXPECT_EQ(buffer.nwritef(UINT32_MAX - 3, "%s", data), 0u);

    EXPECT_EQ(buffer.length(), 3u);
    EXPECT_EQ(buffer.storageSize(), 256u);
    EXPECT_STREQ(buffer.value(), "abc");
    EXPECT_EQ(buffer.writef("d"), 1u);
    EXPECT_STREQ(buffer.value(), "abcd");
}

TEST(Buffer, FirstBlockBeyond32BitsFails)
{
    Buffer buffer;
    EXPECT_FALSE(buffer.ensureFreeCapacity(UINT32_MAX));
    EXPECT_EQ(buffer.storageSize(), 0u);
    EXPECT_EQ(buffer.write("x", UINT32_MAX), 0u);
    EXPECT_EQ(buffer.storageSize(), 0u);
    EXPECT_EQ(buffer.length(), 0u);
}
