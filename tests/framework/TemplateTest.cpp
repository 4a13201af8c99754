// Templates and the template collection: djb2 hashes, message IDs, the
// registration text byte for byte, the identifier and the text's growth.
#include "Template.h"
#include "TemplateCollection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(Template, HashIsDjb2OverUnsignedBytes)
{
    EXPECT_EQ(Template(1, "").templateHash(), 5381u);
    EXPECT_EQ(Template(1, "abc").templateHash(), 193485963u);
    EXPECT_EQ(Template(1, "\xE9").templateHash(), 177806u);
    // Wraps modulo 2^64 rather than saturating.
    EXPECT_EQ(Template(1, "10,1000,a\r\n").templateHash(), 0xbf5fe97554823457ull);
}

TEST(Template, StartsUnregistered)
{
    const char text[] = "GET,/x";
    Template t(2, text);
    EXPECT_EQ(t.type(), 2);
    EXPECT_EQ(t.msgId(), 0);
    EXPECT_EQ(t.templateString(), text);
}

TEST(TemplateCollection, StartsEmpty)
{
    TemplateCollection collection;
    EXPECT_STREQ(collection.templateString(), "");
    EXPECT_EQ(collection.templateHash(), 5381u);
    EXPECT_STREQ(collection.templateIdentifier(), "");
    EXPECT_EQ(collection.bufferSize(), 512u);
}

TEST(TemplateCollection, GivesOutIdsPerKindInOrder)
{
    TemplateCollection collection;
    Template r1(1, "r1"), s1(2, "s1"), s2(2, "s2"), r2(1, "r2"), r3(1, "r3");
    for (Template* t : {&r1, &s1, &s2, &r2, &r3})
        EXPECT_TRUE(collection.add(*t));
    EXPECT_EQ(r1.msgId(), 1000);
    EXPECT_EQ(r2.msgId(), 1001);
    EXPECT_EQ(r3.msgId(), 1002);
    EXPECT_EQ(s1.msgId(), 2000);
    EXPECT_EQ(s2.msgId(), 2001);
    EXPECT_STREQ(collection.templateString(),
                 "10,1000,r1\r\n11,2000,s1\r\n11,2001,s2\r\n10,1001,r2\r\n10,1002,r3\r\n");
}

TEST(TemplateCollection, IdentifierFollowsEveryLine)
{
    TemplateCollection collection;
    Template a(1, "a"), b(2, "b");
    ASSERT_TRUE(collection.add(a));
    EXPECT_STREQ(collection.templateString(), "10,1000,a\r\n");
    EXPECT_EQ(collection.templateHash(), 0xbf5fe97554823457ull);
    EXPECT_STREQ(collection.templateIdentifier(), "com_orvanta_posix_agent_bf5fe97554823457");
    ASSERT_TRUE(collection.add(b));
    EXPECT_STREQ(collection.templateString(), "10,1000,a\r\n11,2000,b\r\n");
    EXPECT_EQ(collection.templateHash(), 0xfbb9ecfeaa5346acull);
    EXPECT_STREQ(collection.templateIdentifier(), "com_orvanta_posix_agent_fbb9ecfeaa5346ac");
}

TEST(TemplateCollection, SameObjectTwiceIsRefused)
{
    TemplateCollection collection;
    Template t(1, "once");
    ASSERT_TRUE(collection.add(t));
    std::string before = collection.templateString();
    EXPECT_FALSE(collection.add(t));
    EXPECT_EQ(t.msgId(), 1000);
    EXPECT_EQ(collection.templateString(), before);
    Template next(1, "next");
    ASSERT_TRUE(collection.add(next));
    EXPECT_EQ(next.msgId(), 1001);
}

TEST(TemplateCollection, SameTextSharesTheId)
{
    TemplateCollection collection;
    std::string text = "PUT,/x/%%";
    std::string copy = text; // another pointer, the same bytes
    Template first(1, text.c_str()), twin(1, copy.c_str()), response(2, copy.c_str());
    ASSERT_TRUE(collection.add(first));
    std::string registered = collection.templateString();
    std::string identifier = collection.templateIdentifier();

    EXPECT_TRUE(collection.add(twin));
    EXPECT_EQ(twin.msgId(), 1000);
    // Kinds are not compared.
    EXPECT_TRUE(collection.add(response));
    EXPECT_EQ(response.msgId(), 1000);
    EXPECT_EQ(collection.templateString(), registered);
    EXPECT_EQ(collection.templateIdentifier(), identifier);

    // No counter moved.
    Template other(1, "other"), answer(2, "answer");
    ASSERT_TRUE(collection.add(other));
    ASSERT_TRUE(collection.add(answer));
    EXPECT_EQ(other.msgId(), 1001);
    EXPECT_EQ(answer.msgId(), 2000);
}

TEST(TemplateCollection, RefusesOtherKindsWithoutUsingAnId)
{
    TemplateCollection collection;
    Template zero(0, "zero"), three(3, "three"), none(1, nullptr);
    EXPECT_FALSE(collection.add(zero));
    EXPECT_FALSE(collection.add(three));
    EXPECT_FALSE(collection.add(none));
    EXPECT_EQ(zero.msgId(), 0);
    EXPECT_EQ(three.msgId(), 0);
    EXPECT_STREQ(collection.templateString(), "");
    EXPECT_STREQ(collection.templateIdentifier(), "");

    Template request(1, "request"), response(2, "response");
    ASSERT_TRUE(collection.add(request));
    ASSERT_TRUE(collection.add(response));
    EXPECT_EQ(request.msgId(), 1000);
    EXPECT_EQ(response.msgId(), 2000);
    std::string identifier = collection.templateIdentifier();

    // An unknown kind with a registered text is a duplicate, found first.
    Template known(3, "request");
    EXPECT_TRUE(collection.add(known));
    EXPECT_EQ(known.msgId(), 1000);
    EXPECT_EQ(collection.templateIdentifier(), identifier);
}

// need = text so far + ID digits + template text + 7 (prefix, comma, CR LF, NUL)
TEST(TemplateCollection, ANeedEqualToTheBufferFitsOneMoreByteGrows)
{
    TemplateCollection collection;
    std::string fills(501, 'f'); // 0 + 4 + 501 + 7 = 512
    Template full(1, fills.c_str());
    ASSERT_TRUE(collection.add(full));
    EXPECT_EQ(collection.bufferSize(), 512u);
    EXPECT_EQ(std::string(collection.templateString()), "10,1000," + fills + "\r\n");

    Template empty(2, ""); // 511 + 4 + 0 + 7 = 522
    ASSERT_TRUE(collection.add(empty));
    EXPECT_EQ(collection.bufferSize(), 1024u);
    EXPECT_EQ(std::string(collection.templateString()), "10,1000," + fills + "\r\n11,2000,\r\n");

    TemplateCollection other;
    std::string overfills(502, 'o'); // 513
    Template over(1, overfills.c_str());
    ASSERT_TRUE(other.add(over));
    EXPECT_EQ(other.bufferSize(), 1024u);
}

TEST(TemplateCollection, GrowsBySeveralStepsAtOnce)
{
    TemplateCollection collection;
    std::string first(490, 'a');  // line of 500 bytes
    std::string second(589, 'b'); // 500 + 4 + 589 + 7 = 1100
    Template t1(1, first.c_str()), t2(1, second.c_str());
    ASSERT_TRUE(collection.add(t1));
    ASSERT_EQ(std::string(collection.templateString()).size(), 500u);
    ASSERT_TRUE(collection.add(t2));
    EXPECT_EQ(collection.bufferSize(), 1536u);
    std::string expected = "10,1000," + first + "\r\n10,1001," + second + "\r\n";
    EXPECT_EQ(std::string(collection.templateString()), expected);
    EXPECT_STREQ(collection.templateIdentifier(), "com_orvanta_posix_agent_6d0ad4ee91150aac");
}

TEST(TemplateCollection, ForgetsTemplatesThatGoAway)
{
    TemplateCollection collection;
    // The storage of a deleted handler's template, reused by another one.
    std::optional<Template> storage;
    storage.emplace(1, "mobile");
    ASSERT_TRUE(collection.add(*storage));
    storage.reset();
    storage.emplace(1, "other");
    EXPECT_TRUE(collection.add(*storage));
    EXPECT_EQ(storage->msgId(), 1001);

    // A re-created handler's template gets the ID of its text.
    Template again(1, "mobile");
    EXPECT_TRUE(collection.add(again));
    EXPECT_EQ(again.msgId(), 1000);
    EXPECT_STREQ(collection.templateString(), "10,1000,mobile\r\n10,1001,other\r\n");
}
