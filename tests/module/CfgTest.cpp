// The settings-file reader and writer on files in a temporary folder.
#include "cfg.h"

#include "TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

using orvanta::test::readFileBytes;
using orvanta::test::TempDir;
using orvanta::test::writeFileBytes;

namespace {

class Cfg : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.ok()); }
    void TearDown() override
    {
        if (f)
            cfg_close(f);
    }

    // Opens a settings file holding exactly `content` for reading.
    FILE* reading(const std::string& content)
    {
        EXPECT_TRUE(writeFileBytes(path, content));
        f = cfg_open(path.c_str(), "r");
        EXPECT_NE(f, nullptr);
        return f;
    }

    std::string str(const char* key)
    {
        char* value = cfg_get_str(f, key);
        std::string out = value ? value : "<null>";
        std::free(value);
        return out;
    }

    // What the writer calls produce in a fresh file.
    template <typename Write>
    std::string written(Write write)
    {
        FILE* out = cfg_open(path.c_str(), "w");
        EXPECT_NE(out, nullptr);
        write(out);
        EXPECT_EQ(cfg_close(out), 0);
        return readFileBytes(path).value_or("<unreadable>");
    }

    TempDir dir;
    std::string path = dir.file("settings");
    FILE* f = nullptr;
};

TEST_F(Cfg, NullStreamGivesMissingResultsAndWritesNothing)
{
    char* text = cfg_get_str(nullptr, "KEY");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    std::free(text);
    EXPECT_EQ(cfg_get_int(nullptr, "KEY"), 0u);
    EXPECT_EQ(cfg_get_ip(nullptr, "KEY"), 0u);
    EXPECT_EQ(cfg_put_str(nullptr, "KEY", "value"), 0);
    EXPECT_EQ(cfg_put_int(nullptr, "KEY", 5, 1), 0);
    EXPECT_EQ(cfg_put_bool(nullptr, "KEY", 1), 0);
    EXPECT_EQ(cfg_put_ip(nullptr, "KEY", 0x01020304), 0);
    EXPECT_EQ(cfg_close(nullptr), 0);
}

TEST_F(Cfg, OpenFailsForMissingFileAndWriteModeEmptiesTheFile)
{
    EXPECT_EQ(cfg_open(dir.file("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(cfg_open(dir.file("no/such/folder").c_str(), "w"), nullptr);
    ASSERT_TRUE(writeFileBytes(path, "OLD=1\n"));
    EXPECT_EQ(written([](FILE*) {}), "");
}

TEST_F(Cfg, LookupMatchesKeysIgnoringCaseAndTakesTheFirstLine)
{
    reading("# comment=hash\n"
            "no equals sign\n"
            "mod_orvanta_interval=5\n"
            "MOD_ORVANTA_INTERVAL=7\n"
            "SPACED =before\n"
            "AFTER= after\n"
            "EMPTY=\n"
            "A=b=c\n");
    EXPECT_EQ(cfg_get_int(f, "MOD_ORVANTA_INTERVAL"), 5u);
    EXPECT_EQ(str("# comment"), "hash");
    EXPECT_EQ(str("SPACED"), "");
    EXPECT_EQ(str("SPACED "), "before");
    EXPECT_EQ(str("AFTER"), " after");
    EXPECT_EQ(str("EMPTY"), "");
    EXPECT_EQ(str("A"), "b=c");
    EXPECT_EQ(str("no equals sign"), "");
    EXPECT_EQ(str("MISSING"), "");
    // Lookups rewind: any order, repeated.
    EXPECT_EQ(cfg_get_int(f, "mod_orvanta_INTERVAL"), 5u);
}

TEST_F(Cfg, LookupCutsLinesAtCrLfAndTheLastQuote)
{
    reading("QUOTED=\"user name\"\r\n"
            "OPEN=\"unterminated\n"
            "TRAILING=value\"\n"
            "INSIDE=a\"b\"c\n"
            "CRLF=dos\r\n"
            "CR=first\rsecond\n"
            "BOTH=\"a \"b\" c\"\n");
    EXPECT_EQ(str("QUOTED"), "user name");
    EXPECT_EQ(str("OPEN"), "");
    EXPECT_EQ(str("TRAILING"), "value");
    EXPECT_EQ(str("INSIDE"), "a\"b");
    EXPECT_EQ(str("CRLF"), "dos");
    EXPECT_EQ(str("CR"), "first");
    EXPECT_EQ(str("BOTH"), "a \"b\" c");
}

TEST_F(Cfg, LinesLongerThanTheBufferAreReadInPieces)
{
    std::string whole(16382 - 2, 'w');     // "W=" + value: 16382 characters
    std::string longer(16383 - 2, 'x');    // one more: the line feed no longer fits
    reading("W=" + whole + "\n" + "L=" + longer + "Y=tail\n");
    EXPECT_EQ(str("W"), whole);
    EXPECT_EQ(str("L"), longer);
    EXPECT_EQ(str("Y"), "tail");
}

TEST_F(Cfg, NumbersFollowStrtoulWith32Bits)
{
    reading("A=12abc\nB=\nC=abc\nD=-1\nE=4294967295\nF=4294967296\nG=  +42\nH=-2\nI=99999999999999999999999\n");
    EXPECT_EQ(cfg_get_int(f, "A"), 12u);
    EXPECT_EQ(cfg_get_int(f, "B"), 0u);
    EXPECT_EQ(cfg_get_int(f, "C"), 0u);
    EXPECT_EQ(cfg_get_int(f, "D"), 0xFFFFFFFFu);
    EXPECT_EQ(cfg_get_int(f, "E"), 4294967295u);
    EXPECT_EQ(cfg_get_int(f, "F"), 4294967295u);
    EXPECT_EQ(cfg_get_int(f, "G"), 42u);
    EXPECT_EQ(cfg_get_int(f, "H"), 0xFFFFFFFEu);
    EXPECT_EQ(cfg_get_int(f, "I"), 4294967295u);
    EXPECT_EQ(cfg_get_int(f, "MISSING"), 0u);
}

TEST_F(Cfg, AddressesAreFourDottedNumbersWithoutRangeCheck)
{
    reading("A=10.0.0.1\nB=10.0.0\nC=1.2.3.4.5\nD=1.2.3.256\nE=\nF=x.1.2.3\n");
    EXPECT_EQ(cfg_get_ip(f, "A"), 0x0A000001u);
    EXPECT_EQ(cfg_get_ip(f, "B"), 0u);
    EXPECT_EQ(cfg_get_ip(f, "C"), 0x01020304u);
    EXPECT_EQ(cfg_get_ip(f, "D"), 0x01020400u);
    EXPECT_EQ(cfg_get_ip(f, "E"), 0u);
    EXPECT_EQ(cfg_get_ip(f, "F"), 0u);
    EXPECT_EQ(cfg_get_ip(f, "MISSING"), 0u);
}

TEST_F(Cfg, TextIsQuotedOnlyWhenItHoldsABlank)
{
    EXPECT_EQ(written([](FILE* out) {
                  EXPECT_EQ(cfg_put_str(out, "PLAIN", "value"), 12);
                  EXPECT_EQ(cfg_put_str(out, "SPACED", "user name"), 19);
                  cfg_put_str(out, "TAB", "a\tb");
                  cfg_put_str(out, "EMPTY", "");
                  cfg_put_str(out, "NULL", nullptr);
                  cfg_put_str(out, "QUOTE", "a\"b");
                  cfg_put_str(out, "BOTH", "a \"b\" c");
              }),
              "PLAIN=value\n"
              "SPACED=\"user name\"\n"
              "TAB=a\tb\n"
              "EMPTY=\n"
              "NULL=\n"
              "QUOTE=a\"b\n"
              "BOTH=\"a \"b\" c\"\n");
}

TEST_F(Cfg, TextIsCutAtItsFirstCrOrLfThenTo16000Bytes)
{
    std::string big(16005, 'b');
    std::string bigSpaced = " " + std::string(16005, 's');
    EXPECT_EQ(written([&](FILE* out) {
                  cfg_put_str(out, "USER", "me\nMOD_ORVANTA_PASSWORD=evil");
                  cfg_put_str(out, "CR", "a b\rc");
                  cfg_put_str(out, "LEAD", "\nx y");
                  cfg_put_str(out, "BIG", big.c_str());
                  cfg_put_str(out, "BIGSPACED", bigSpaced.c_str());
                  cfg_put_str(out, "CUTBLANK", ("x\n" + std::string(" y")).c_str());
              }),
              std::string("USER=me\n"
                          "CR=\"a b\"\n"
                          "LEAD=\n") +
                  "BIG=" + big.substr(0, 16000) + "\n" + "BIGSPACED=\"" + bigSpaced.substr(0, 16000) + "\"\n" +
                  "CUTBLANK=x\n");
}

TEST_F(Cfg, NumbersFlagsAndAddressesAreWrittenInDecimal)
{
    EXPECT_EQ(written([](FILE* out) {
                  EXPECT_EQ(cfg_put_int(out, "ZERO", 0, 0), 6);
                  cfg_put_int(out, "KEPT", 0, 1);
                  cfg_put_int(out, "MAX", 4294967295u, 0);
                  cfg_put_bool(out, "ON", 7);
                  cfg_put_bool(out, "OFF", 0);
                  cfg_put_ip(out, "IP", 0x0A000001);
                  cfg_put_ip(out, "NOIP", 0);
              }),
              "ZERO=\n"
              "KEPT=0\n"
              "MAX=4294967295\n"
              "ON=1\n"
              "OFF=0\n"
              "IP=10.0.0.1\n"
              "NOIP=\n");
}

TEST_F(Cfg, WrittenValuesReadBack)
{
    written([](FILE* out) {
        cfg_put_str(out, "NAME", "user name");
        cfg_put_int(out, "ZERO", 0, 0);
        cfg_put_int(out, "KEPT", 0, 1);
        cfg_put_int(out, "N", 300, 0);
        cfg_put_bool(out, "FLAG", 1);
        cfg_put_ip(out, "IP", 0xC0A80101);
        cfg_put_ip(out, "NOIP", 0);
    });
    f = cfg_open(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(str("NAME"), "user name");
    EXPECT_EQ(cfg_get_int(f, "ZERO"), 0u);
    EXPECT_EQ(cfg_get_int(f, "KEPT"), 0u);
    EXPECT_EQ(cfg_get_int(f, "N"), 300u);
    EXPECT_EQ(cfg_get_int(f, "FLAG"), 1u);
    EXPECT_EQ(cfg_get_ip(f, "IP"), 0xC0A80101u);
    EXPECT_EQ(cfg_get_ip(f, "NOIP"), 0u);
}

TEST_F(Cfg, WriteErrorsGiveNegativeResults)
{
    FILE* full = cfg_open("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_LT(cfg_put_str(full, "KEY", "value"), 0);
    EXPECT_LT(cfg_put_int(full, "KEY", 1, 0), 0);
    EXPECT_LT(cfg_put_bool(full, "KEY", 1), 0);
    EXPECT_LT(cfg_put_ip(full, "KEY", 1), 0);
    cfg_close(full);
}

}  // namespace
