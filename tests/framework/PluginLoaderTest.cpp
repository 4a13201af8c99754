// The registry and the loader, with real plug-in libraries that the test
// build produces (TestPlugin.cpp). Every log line is compared whole at
// verbosity 3, timestamps aside.
#include "PluginManager.h"

#include "ConfigText.h"
#include "LogCapture.h"
#include "Logger.h"
#include "Plugin.h"
#include "PluginConfiguration.h"
#include "PluginHandler.h"
#include "RecordingAgent.h"
#include "RecordingRequestClient.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string library(const std::string& name)
{
    return std::string(TEST_PLUGIN_DIR) + "/testplugin-" + name + ".so";
}

// What unloading the library of plug-in type alpha logs.
const std::vector<std::string> alphaUnloaded = {dbgLine("Unloading plugin: " + library("alpha")),
                                                msgLine("alpha: finalize")};

bool isOpen(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

class PluginLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(capture.ok());
        before = Logger::instance()->getVerbosity();
        Logger::instance()->setVerbosity(3);
    }

    void TearDown() override
    {
        manager.reset();
        Logger::instance()->setVerbosity(before);
        if (!scratch.empty())
            std::filesystem::remove_all(scratch);
    }

    // A path string that stays valid as long as the test.
    const char* path(const std::string& text)
    {
        paths.push_back(text);
        return paths.back().c_str();
    }

    bool load(const std::string& text) { return manager->loadPlugin(path(text)); }

    // The log lines since the last call.
    Lines logged()
    {
        Lines lines = logLines(capture.text());
        capture.clear();
        return lines;
    }

    // A directory of its own under the build tree, removed afterwards.
    std::string scratchDirectory()
    {
        std::string pattern = std::string(TEST_SCRATCH_DIR) + "/loader-XXXXXX";
        if (mkdtemp(pattern.data()))
            scratch = pattern;
        return scratch;
    }

    StderrCapture capture;
    std::optional<PluginManager> manager{std::in_place};
    std::deque<std::string> paths;
    std::string scratch;
    unsigned char before = 0;
};

// A plug-in type of the test program itself.
class LocalPlugin : public Plugin {
public:
    explicit LocalPlugin(std::string name) : name(std::move(name)) {}
    const char* type() const override { return name.c_str(); }
    PluginHandler* createHandler(PluginConfiguration&, AbstractAgent&) const override { return nullptr; }

private:
    std::string name;
};

class NamelessPlugin : public Plugin {
public:
    const char* type() const override { return nullptr; }
    PluginHandler* createHandler(PluginConfiguration&, AbstractAgent&) const override { return nullptr; }
};

} // namespace

TEST_F(PluginLoaderTest, LoadsAWellBehavedLibraryAndRunsItsHandler)
{
    const std::string alpha = library("alpha");
    ASSERT_TRUE(load(alpha));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + alpha), msgLine("alpha: init"),
                               dbgLine("Plugin alpha registered."), dbgLine("Library loaded: " + alpha)}));
    ASSERT_EQ(manager->pluginCount(), 1u);
    dlerror();
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "plugin_init"), nullptr) << "a library's symbols are not offered to others";
    Plugin* plugin = manager->getPlugin(0);
    ASSERT_NE(plugin, nullptr);
    EXPECT_STREQ(plugin->type(), "alpha");

    // The handler comes from the library and reaches the host's records,
    // values and request client, and libconfig, through the test program.
    ConfigText text("plugins = ( { type = \"alpha\"; interval = 60; } );");
    ASSERT_TRUE(text.ok());
    PluginConfiguration configuration(text.at("plugins.[0]"));
    orvanta::test::RecordingRequestClient client;
    RecordingAgent agent(&client, 0, 0);
    std::unique_ptr<PluginHandler> handler(plugin->createHandler(configuration, agent));
    ASSERT_NE(handler, nullptr);
    EXPECT_TRUE(handler->init());
    agent.id = 123456;
    EXPECT_TRUE(handler->run());
    EXPECT_EQ(client.requests(), (std::vector<Lines>{{"60,123456,alpha"}}));
    handler.reset();
    EXPECT_EQ(logged(), Lines{});

    manager.reset();
    EXPECT_EQ(logged(), alphaUnloaded);
    EXPECT_FALSE(isOpen(alpha));
}

TEST_F(PluginLoaderTest, RefusesAMissingFile)
{
    const std::string missing = std::string(TEST_PLUGIN_DIR) + "/testplugin-missing.so";
    EXPECT_FALSE(load(missing));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + missing),
                               errLine(missing + ": cannot open shared object file: "
                                                 "No such file or directory")}));
    manager.reset();
    EXPECT_EQ(logged(), Lines{});
}

TEST_F(PluginLoaderTest, RefusesALibraryWithSymbolsTheHostLacks)
{
    // Resolved at once, not when first called.
    const std::string unresolved = library("unresolved");
    EXPECT_FALSE(load(unresolved));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + unresolved),
                               errLine(unresolved + ": undefined symbol: orvanta_missing_function")}));
    EXPECT_FALSE(isOpen(unresolved));
}

TEST_F(PluginLoaderTest, RefusesALibraryWithoutInitEntryPoint)
{
    const std::string noInit = library("noinit");
    EXPECT_FALSE(load(noInit));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + noInit),
                               errLine(noInit + ": undefined symbol: plugin_init")}));
    EXPECT_FALSE(isOpen(noInit));

    // It was not recorded: the same path string is tried again.
    EXPECT_FALSE(load(noInit));
    EXPECT_EQ(logged().size(), 2u);
    manager.reset();
    EXPECT_EQ(logged(), Lines{});
}

TEST_F(PluginLoaderTest, RefusesALibraryWhoseInitFailsAfterRegistering)
{
    const std::string fails = library("initfails"), alpha = library("alpha");
    EXPECT_FALSE(load(fails));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + fails), msgLine("initfails: init"),
                               dbgLine("Plugin alpha registered."),
                               errLine("Plugin initialization function returned 7.")}));
    EXPECT_FALSE(isOpen(fails));
    // Its plug-in went with it: a later library may register the type,
    // and nothing calls into the closed library.
    EXPECT_EQ(manager->pluginCount(), 0u);
    ASSERT_TRUE(load(alpha));
    ASSERT_EQ(manager->pluginCount(), 1u);
    EXPECT_STREQ(manager->getPlugin(0)->type(), "alpha");
    logged();
    manager.reset();
    EXPECT_EQ(logged(), alphaUnloaded);
}

// Beside a loaded library: what is refused, and the loaded one stays alone.
TEST_F(PluginLoaderTest, RefusesBesideALoadedLibrary)
{
    const std::string alpha = library("alpha"), duplicate = library("duplicate");
    const std::string other = std::string(TEST_PLUGIN_DIR) + "/./testplugin-alpha.so";
    const struct {
        const char* what;
        std::string path;
        Lines log;
    } cases[] = {
        {"a library registering a type already registered",
         duplicate,
         {dbgLine("Loading library: " + duplicate), msgLine("duplicate: init"),
          errLine("Plugin alpha already registered."),
          errLine("Plugin initialization function returned 1.")}},
        {"another copy of the same path string, before opening",
         alpha,
         {errLine("Library already loaded: " + alpha)}},
        // The dynamic linker hands back the open library; its plugin_init
        // runs a second time and fails, and the extra reference is closed.
        {"the same file under a second path string",
         other,
         {dbgLine("Loading library: " + other), msgLine("alpha: init"),
          errLine("Plugin alpha already registered."),
          errLine("Plugin initialization function returned 1.")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        manager.emplace();
        ASSERT_TRUE(load(alpha));
        logged();
        EXPECT_FALSE(load(c.path));
        EXPECT_EQ(logged(), c.log);
        EXPECT_FALSE(isOpen(duplicate));
        EXPECT_TRUE(isOpen(alpha));
        EXPECT_EQ(manager->pluginCount(), 1u);

        manager.reset();
        EXPECT_EQ(logged(), alphaUnloaded);
        EXPECT_FALSE(isOpen(alpha));
    }
}

TEST_F(PluginLoaderTest, FinalisesAndClosesInLoadOrder)
{
    const std::string alpha = library("alpha"), noFinalize = library("nofinalize"), beta = library("beta"),
                      finalizeFails = library("finalizefails");
    ASSERT_TRUE(load(alpha));
    ASSERT_TRUE(load(noFinalize));
    ASSERT_TRUE(load(beta));
    ASSERT_TRUE(load(finalizeFails));
    EXPECT_EQ(manager->pluginCount(), 2u);
    EXPECT_STREQ(manager->getPlugin(0)->type(), "alpha");
    EXPECT_STREQ(manager->getPlugin(1)->type(), "beta");
    logged();

    manager.reset();
    EXPECT_EQ(logged(),
              (Lines{dbgLine("Unloading plugin: " + alpha), msgLine("alpha: finalize"),
                     dbgLine("Unloading plugin: " + noFinalize),
                     errLine(noFinalize + ": undefined symbol: plugin_finalize"),
                     dbgLine("Unloading plugin: " + beta), msgLine("beta: finalize"),
                     dbgLine("Unloading plugin: " + finalizeFails), msgLine("finalizefails: finalize"),
                     errLine("Plugin finalize function returned 3.")}));
    for (const std::string& each : {alpha, noFinalize, beta, finalizeFails})
        EXPECT_FALSE(isOpen(each)) << each;
}

TEST_F(PluginLoaderTest, HoldsAtMost128Libraries)
{
    // 128 distinct libraries: copies of one that registers nothing.
    std::string directory = scratchDirectory();
    ASSERT_FALSE(directory.empty());
    std::vector<std::string> copies;
    for (int i = 0; i < 129; ++i) {
        copies.push_back(directory + "/silent-" + std::to_string(i) + ".so");
        std::filesystem::copy_file(library("silent"), copies.back());
    }
    Lines expected;
    for (int i = 0; i < 128; ++i) {
        ASSERT_TRUE(load(copies[i])) << i;
        expected.insert(expected.end(), {dbgLine("Loading library: " + copies[i]), msgLine("silent: init"),
                                         dbgLine("Library loaded: " + copies[i])});
    }
    EXPECT_EQ(logged(), expected);

    EXPECT_FALSE(load(copies[128]));
    EXPECT_FALSE(load(copies[0]));
    EXPECT_FALSE(load(directory + "/absent.so"));
    EXPECT_EQ(logged(), Lines(3, dbgLine("Maximum number of libraries exceeded.")));
    EXPECT_FALSE(isOpen(copies[128])) << "refused before the dynamic linker";

    manager.reset();
    expected.clear();
    for (int i = 0; i < 128; ++i)
        expected.insert(expected.end(),
                        {dbgLine("Unloading plugin: " + copies[i]), msgLine("silent: finalize")});
    EXPECT_EQ(logged(), expected);
    EXPECT_FALSE(isOpen(copies[0]));
    EXPECT_FALSE(isOpen(copies[127]));
}

TEST_F(PluginLoaderTest, RefusesANullPathSilently)
{
    EXPECT_FALSE(manager->loadPlugin(nullptr));
    ASSERT_TRUE(load(library("alpha")));
    logged();
    EXPECT_FALSE(manager->loadPlugin(nullptr));
    EXPECT_EQ(logged(), Lines{});
}

TEST_F(PluginLoaderTest, AManagerThatLoadedNothingDoesNothingWhenDestroyed)
{
    manager.reset();
    EXPECT_EQ(capture.text(), "");
}

TEST_F(PluginLoaderTest, RegistersPluginsInOrderByExactTypeName)
{
    LocalPlugin lower("alpha"), upper("Alpha"), again("alpha"), longer("alpha ");
    EXPECT_TRUE(manager->addPlugin(lower));
    EXPECT_TRUE(manager->addPlugin(upper));
    EXPECT_FALSE(manager->addPlugin(again));
    EXPECT_FALSE(manager->addPlugin(lower));
    EXPECT_TRUE(manager->addPlugin(longer));
    EXPECT_EQ(logged(),
              (Lines{dbgLine("Plugin alpha registered."), dbgLine("Plugin Alpha registered."),
                     errLine("Plugin alpha already registered."), errLine("Plugin alpha already registered."),
                     dbgLine("Plugin alpha  registered.")}));
    ASSERT_EQ(manager->pluginCount(), 3u);
    EXPECT_EQ(manager->getPlugin(0), &lower);
    EXPECT_EQ(manager->getPlugin(1), &upper);
    EXPECT_EQ(manager->getPlugin(2), &longer);
    EXPECT_EQ(manager->getPlugin(3), nullptr);

    NamelessPlugin nameless;
    EXPECT_FALSE(manager->addPlugin(nameless));
    EXPECT_EQ(manager->pluginCount(), 3u);
    EXPECT_EQ(logged(), Lines{});
}

TEST_F(PluginLoaderTest, HoldsAtMost128Plugins)
{
    std::deque<LocalPlugin> plugins;
    Lines expected;
    for (int i = 0; i < 129; ++i)
        plugins.emplace_back("type-" + std::to_string(i));
    for (int i = 0; i < 128; ++i) {
        ASSERT_TRUE(manager->addPlugin(plugins[i]));
        expected.push_back(dbgLine("Plugin type-" + std::to_string(i) + " registered."));
    }
    EXPECT_EQ(logged(), expected);

    EXPECT_FALSE(manager->addPlugin(plugins[128]));
    EXPECT_FALSE(manager->addPlugin(plugins[0])) << "a full table is reported first";
    EXPECT_EQ(logged(), Lines(2, errLine("Maximum number of plugins exceeded.")));
    EXPECT_EQ(manager->pluginCount(), 128u);
    EXPECT_EQ(manager->getPlugin(127), &plugins[127]);

    // A library cannot register any more either.
    EXPECT_FALSE(load(library("beta")));
    EXPECT_EQ(logged(), (Lines{dbgLine("Loading library: " + library("beta")), msgLine("beta: init"),
                               errLine("Maximum number of plugins exceeded."),
                               errLine("Plugin initialization function returned 1.")}));
}
