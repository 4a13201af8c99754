// The settings-file reader and writer on files in a temporary folder.
#include "cfg.h"

#include "TempDir.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

using orvanta::test::readFileBytes;
using orvanta::test::TempDir;
using orvanta::test::writeFileBytes;
using namespace std::string_literals;

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
        if (f)
            cfg_close(f);
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

    // The names in a folder, sorted.
    static std::vector<std::string> entries(const std::string& folder)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(folder.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static mode_t mode(const std::string& file)
    {
        struct stat st {};
        return stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    TempDir dir;
    std::string path = dir.file("settings");
    FILE* f = nullptr;
};

int writeNew(FILE* out, void*)
{
    return int{cfg_put_str(out, "NEW", "2") >= 0};
}

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
    EXPECT_EQ(cfg_has_key(nullptr, "KEY"), 0);
    EXPECT_EQ(cfg_copy_replacing(nullptr, nullptr, "KEY", writeNew, nullptr), 0);
    EXPECT_EQ(cfg_close(nullptr), 0);
}

TEST_F(Cfg, OpenFailsForMissingFileAndWriteModeEmptiesTheFile)
{
    EXPECT_EQ(cfg_open(dir.file("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(cfg_open(dir.file("no/such/folder").c_str(), "w"), nullptr);
    ASSERT_TRUE(writeFileBytes(path, "OLD=1\n"));
    EXPECT_EQ(written([](FILE*) {}), "");
}

// The reader's rules, one settings file a row: its lookups in order on one
// stream (each lookup rewinds), numbers as cfg_get_int gives them, addresses
// in dotted form, cfg_has_key as 1 or 0.
TEST_F(Cfg, LookupRules)
{
    enum Kind { Text, Number, Address, Has };
    struct Lookup {
        Kind kind;
        const char* key;
        std::string expected;
    };
    const std::string whole(16382 - 2, 'w');  // "W=" + value: 16382 characters
    const std::string longer(16383 - 2, 'x'); // one more: the line feed no longer fits
    const struct {
        const char* rule;
        std::string file;
        std::vector<Lookup> lookups;
    } cases[] = {
        {"keys match ignoring case; the first line counts",
         "# comment=hash\nno equals sign\nmod_orvanta_interval=5\nMOD_ORVANTA_INTERVAL=7\nSPACED =before\n"
         "AFTER= after\nEMPTY=\nA=b=c\n",
         {{Number, "MOD_ORVANTA_INTERVAL", "5"},
          {Text, "# comment", "hash"},
          {Text, "SPACED", ""},
          {Text, "SPACED ", "before"},
          {Text, "AFTER", " after"},
          {Text, "EMPTY", ""},
          {Text, "A", "b=c"},
          {Text, "no equals sign", ""},
          {Text, "MISSING", ""},
          {Number, "mod_orvanta_INTERVAL", "5"},
          {Has, "EMPTY", "1"},
          {Has, "SPACED", "0"},
          {Has, "MISSING", "0"}}},
        {"lines are cut at CR, LF and the last double quote",
         "QUOTED=\"user name\"\r\nOPEN=\"unterminated\nTRAILING=value\"\nINSIDE=a\"b\"c\nCRLF=dos\r\n"
         "CR=first\rsecond\nBOTH=\"a \"b\" c\"\n",
         {{Text, "QUOTED", "user name"},
          {Text, "OPEN", ""},
          {Text, "TRAILING", "value"},
          {Text, "INSIDE", "a\"b"},
          {Text, "CRLF", "dos"},
          {Text, "CR", "first"},
          {Text, "BOTH", "a \"b\" c"}}},
        {"lines longer than the buffer are read in pieces",
         "W=" + whole + "\n" + "L=" + longer + "Y=tail\n",
         {{Text, "W", whole}, {Text, "L", longer}, {Text, "Y", "tail"}}},
        {"numbers follow strtoul with 32 bits",
         "A=12abc\nB=\nC=abc\nD=-1\nE=4294967295\nF=4294967296\nG=  +42\nH=-2\nI=99999999999999999999999\n",
         {{Number, "A", "12"},
          {Number, "B", "0"},
          {Number, "C", "0"},
          {Number, "D", "4294967295"},
          {Number, "E", "4294967295"},
          {Number, "F", "4294967295"},
          {Number, "G", "42"},
          {Number, "H", "4294967294"},
          {Number, "I", "4294967295"},
          {Number, "MISSING", "0"}}},
        {"addresses are four dotted numbers without range check",
         "A=10.0.0.1\nB=10.0.0\nC=1.2.3.4.5\nD=1.2.3.256\nE=\nF=x.1.2.3\n",
         {{Address, "A", "10.0.0.1"},
          {Address, "B", "0.0.0.0"},
          {Address, "C", "1.2.3.4"},
          {Address, "D", "1.2.4.0"},
          {Address, "E", "0.0.0.0"},
          {Address, "F", "0.0.0.0"},
          {Address, "MISSING", "0.0.0.0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        reading(c.file);
        for (const Lookup& l : c.lookups) {
            std::string got;
            if (l.kind == Text) {
                got = str(l.key);
            } else if (l.kind == Number) {
                got = std::to_string(cfg_get_int(f, l.key));
            } else if (l.kind == Has) {
                got = std::to_string(cfg_has_key(f, l.key));
            } else {
                uint32_t ip = cfg_get_ip(f, l.key);
                got = std::to_string(ip >> 24 & 255) + "." + std::to_string(ip >> 16 & 255) + "." +
                      std::to_string(ip >> 8 & 255) + "." + std::to_string(ip & 255);
            }
            EXPECT_EQ(got, l.expected) << l.key;
        }
    }
}

TEST_F(Cfg, TextIsQuotedWhenItHoldsABlankOrADoubleQuote)
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
              "QUOTE=\"a\"b\"\n"
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
                  "BIG=" + big.substr(0, 16000) + "\n" + "BIGSPACED=\"" + bigSpaced.substr(0, 16000) +
                  "\"\n" + "CUTBLANK=x\n");
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
    // Every text without CR or LF, up to 16000 bytes.
    const std::vector<std::string> texts = {"",
                                            "plain",
                                            "user name",
                                            "pa\"ss",
                                            "pa\"",
                                            "\"",
                                            "\"\"",
                                            "\"lead",
                                            "a \"b\" c",
                                            "=x=",
                                            " ",
                                            "\t",
                                            std::string(16000, '"')};
    written([&](FILE* out) {
        for (std::size_t i = 0; i < texts.size(); ++i)
            cfg_put_str(out, ("T" + std::to_string(i)).c_str(), texts[i].c_str());
        cfg_put_int(out, "ZERO", 0, 0);
        cfg_put_int(out, "KEPT", 0, 1);
        cfg_put_int(out, "N", 300, 0);
        cfg_put_bool(out, "FLAG", 1);
        cfg_put_ip(out, "IP", 0xC0A80101);
        cfg_put_ip(out, "NOIP", 0);
    });
    f = cfg_open(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(str(("T" + std::to_string(i)).c_str()), texts[i]);
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

// Changing one key keeps every other line byte for byte: the first line
// that the lookups take for the key gets the new one, later ones go, and a
// key without a line gets one at the end.
TEST_F(Cfg, CopyReplacingChangesTheLinesOfOneKeyAlone)
{
    const std::string piece(16383, 'p'); // a whole read: what follows is a line of its own
    const struct {
        std::string before, after;
    } cases[] = {
        {"A=1\nNEW=old\nB=2\n", "A=1\nNEW=2\nB=2\n"},
        {"new=old\r\nX=\"a b\"\nNew=older\n", "NEW=2\nX=\"a b\"\n"},
        {"NEW =1\n#NEW=1\nNEW\"=1\n\"NEW=1\"\nNEW", "NEW =1\n#NEW=1\nNEW\"=1\n\"NEW=1\"\nNEW\nNEW=2\n"},
        {"", "NEW=2\n"},
        {"A=1\0NEW=1\nNEW=\0\n"s, "A=1\0NEW=1\nNEW=2\n"s},
        {piece + "NEW=old\nA=1\n", piece + "\nNEW=2\nA=1\n"},
        {"NEW=" + piece + "A=1\n",
         "NEW=2\npppp"
         "A=1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.size() > 100 ? c.before.substr(0, 20) + "..." : c.before);
        FILE* in = fmemopen(const_cast<char*>(c.before.data()), c.before.size(), "r");
        char* copied = nullptr;
        std::size_t size = 0;
        FILE* out = open_memstream(&copied, &size);
        EXPECT_EQ(cfg_copy_replacing(c.before.empty() ? nullptr : in, out, "NEW", writeNew, nullptr), 1);
        std::fclose(out);
        EXPECT_EQ(std::string(copied, size), c.after);
        std::free(copied);
        if (in)
            std::fclose(in);
    }
}

// A reader sees the old file until the new one is complete; the new one is
// 0600 whatever the umask and the old file's mode.
TEST_F(Cfg, ReplaceRenamesACompleteNewFileOverTheOld)
{
    ASSERT_TRUE(writeFileBytes(path, "OLD=1\n"));
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    struct Watch {
        std::string path, seen;
    } watch{path, ""};
    mode_t umaskBefore = umask(0);
    int replaced = cfg_replace(
        path.c_str(),
        [](FILE* out, void* context) {
            auto* w = static_cast<Watch*>(context);
            w->seen = readFileBytes(w->path).value_or("<unreadable>");
            return writeNew(out, nullptr);
        },
        &watch);
    umask(umaskBefore);
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(watch.seen, "OLD=1\n");
    EXPECT_EQ(readFileBytes(path), "NEW=2\n");
    EXPECT_EQ(mode(path), mode_t{0600});
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"settings"});
}

TEST_F(Cfg, AFailedReplaceKeepsTheOldFileByteForByte)
{
    const std::string old = "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_PASSWORD=secret\n";
    const std::string big(4096, 'x');
    struct rlimit unlimited {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const struct {
        const char* what;
        cfg_writer writer;
        rlim_t sizeLimit;
    } cases[] = {
        {"the writer fails", [](FILE*, void*) { return 0; }, unlimited.rlim_cur},
        {"the disk is full",
         [](FILE* out, void* text) {
             return int{cfg_put_str(out, "BIG", static_cast<const char*>(text)) >= 0};
         },
         10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFileBytes(path, old));
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = unlimited;
        limit.rlim_cur = c.sizeLimit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        int replaced = cfg_replace(path.c_str(), c.writer, const_cast<char*>(big.c_str()));
        setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(replaced, 0);
        EXPECT_EQ(readFileBytes(path), old);
        EXPECT_EQ(mode(path), mode_t{0640});
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"settings"});
    }
    EXPECT_EQ(cfg_replace(dir.file("no/such/folder").c_str(), writeNew, nullptr), 0);
}

TEST_F(Cfg, ReplaceFollowsLinksAndReplacesTheirTarget)
{
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0700), 0);
    ASSERT_TRUE(writeFileBytes(dir.file("real/settings"), "OLD=1\n"));
    ASSERT_EQ(symlink("real/settings", dir.file("hop").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("hop").c_str(), path.c_str()), 0);
    EXPECT_EQ(cfg_replace(path.c_str(), writeNew, nullptr), 1);
    EXPECT_EQ(readFileBytes(dir.file("real/settings")), "NEW=2\n");
    EXPECT_EQ(mode(dir.file("real/settings")), mode_t{0600});
    char link[256] = {};
    EXPECT_GT(readlink(path.c_str(), link, sizeof link - 1), 0);
    EXPECT_EQ(std::string(link), dir.file("hop"));
    EXPECT_EQ(entries(dir.file("real")), std::vector<std::string>{"settings"});
}

} // namespace
