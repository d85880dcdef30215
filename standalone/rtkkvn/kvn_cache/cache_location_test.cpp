// Where the component cache lives: the root template, its placeholders (given directly and taken
// from the environment), the default size limit and the verbose switch.

#include "rtkkvn/kvn_cache/cache_location.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "base/exceptions.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "util/test_environment.hpp"

namespace {

using rtkutil::testing::ScopedEnvironment;

CachePlaceholderValues sampleValues() {
  CachePlaceholderValues values;
  values.temp = "/T/";  // a trailing separator, as temporary folders often come
  values.user = "user1";
  values.localAppData = "/home/user1/.local/share";
  values.appData = "/home/user1/.config";
  values.commonAppData = "/var/lib";
  return values;
}

std::string effectiveLoginName() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry && entry->pw_name ? entry->pw_name : "";
}

TEST(CacheRootExpansion, PlaceholdersAndNormalisation) {
  CachePlaceholderValues values = sampleValues();
  EXPECT_EQ(expandCacheRoot("$TEMP/$USER", values), "/T/user1");
  // $APPDATA must not eat the tail of $LOCAL_APPDATA.
  EXPECT_EQ(expandCacheRoot("$LOCAL_APPDATA\\$APPDATA\\$COMMON_APPDATA", values),
            "/home/user1/.local/share/home/user1/.config/var/lib");
  EXPECT_EQ(expandCacheRoot("  \\cache\\\\x\\ ", values), "/cache/x/");
  values.user = "$USER$USER";  // a value is not expanded into itself again and again
  EXPECT_EQ(expandCacheRoot("/c/$USER", values), "/c/$USER$USER");
  values.user.reset();
  values.appData.reset();
  EXPECT_EQ(expandCacheRoot("$TEMP/$USER/$APPDATA/$NOSUCH", values), "/T/$USER/$APPDATA/$NOSUCH");
}

TEST(CacheRootExpansion, EmptyRootIsAnError) {
  for (const char* blank : {"", "\t \n"}) {
    try {
      expandCacheRoot(blank, sampleValues());
      ADD_FAILURE() << "no error for \"" << blank << "\"";
    } catch (const rtkUserException& error) {
      EXPECT_EQ(error.getErrorId(), "RTK:ComponentCache");
      EXPECT_EQ(error.getMessage().id(), "RTKKVN_CACHE_DIR_NOT_FOUND");
      EXPECT_EQ(error.getMessage().arguments(), std::vector<std::string>{""});
    }
  }
}

TEST(CacheLocationFromEnvironment, DefaultRootIsTemporaryFolderAndUser) {
  const std::string user = effectiveLoginName();
  ASSERT_FALSE(user.empty());
  ScopedEnvironment temporary("TMPDIR", "/T/");
  for (const char* root : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnvironment configured("KVN_CACHE_ROOT", root);
    EXPECT_EQ(cacheRootDirectory(), "/T/" + user);
    EXPECT_EQ(rtkGetComponentCacheDir(), "/T/" + user + "/kvnCache8.1");
  }
  ScopedEnvironment configured("KVN_CACHE_ROOT", nullptr);
  ScopedEnvironment noTemporary("TMPDIR", "");
  EXPECT_EQ(rtkGetComponentCacheDir(), "/tmp/" + user + "/kvnCache8.1");
}

TEST(CacheLocationFromEnvironment, ConfiguredRoot) {
  ScopedEnvironment data("XDG_DATA_HOME", "/data/");
  const std::string user = effectiveLoginName();
  const std::pair<const char*, std::string> cases[] = {
      {"$LOCAL_APPDATA\\$USER\\$USER", "/data/" + user + "/" + user + "/kvnCache8.1"},
      {"/cache//x", "/cache/x/kvnCache8.1"},
      {"$NOSUCH\\dir", "$NOSUCH/dir/kvnCache8.1"}};
  for (const auto& [root, expected] : cases) {
    ScopedEnvironment configured("KVN_CACHE_ROOT", root);
    EXPECT_EQ(rtkGetComponentCacheDir(), expected);
  }
  ScopedEnvironment configured("KVN_CACHE_ROOT", " \t ");
  EXPECT_THROW(rtkGetComponentCacheDir(), rtkUserException);
}

TEST(CacheLocationFromEnvironment, PerUserFoldersFallBackToHome) {
  ScopedEnvironment home("HOME", "/home/h");
  ScopedEnvironment data("XDG_DATA_HOME", nullptr);
  // A relative XDG folder would differ in every working folder; it is ignored.
  ScopedEnvironment config("XDG_CONFIG_HOME", "relative/config");
  const CachePlaceholderValues values = currentCachePlaceholderValues();
  EXPECT_EQ(values.localAppData, "/home/h/.local/share");
  EXPECT_EQ(values.appData, "/home/h/.config");
  EXPECT_EQ(values.commonAppData, "/var/lib");
}

TEST(CacheSize, ReadsALeadingDecimalNumber) {
  EXPECT_EQ(parseCacheSize("100000000"), 100000000u);
  EXPECT_EQ(parseCacheSize(" \n 42"), 42u);
  EXPECT_EQ(parseCacheSize("64M"), 64u);
  EXPECT_EQ(parseCacheSize("0"), 0u);
  EXPECT_EQ(parseCacheSize("18446744073709551615"), std::numeric_limits<std::uint64_t>::max());
  for (const char* noNumber : {"", "abc", "M64", "-5", "18446744073709551616"}) {
    EXPECT_EQ(parseCacheSize(noNumber), std::nullopt) << noNumber;
  }
}

TEST(CacheSize, DefaultComesFromTheEnvironment) {
  for (const char* unusable : {static_cast<const char*>(nullptr), "abc"}) {
    ScopedEnvironment size("KVN_CACHE_SIZE", unusable);
    EXPECT_EQ(cacheDefaultMaxSize(), 33554432u);
  }
  ScopedEnvironment size("KVN_CACHE_SIZE", "100000000");
  EXPECT_EQ(cacheDefaultMaxSize(), 100000000u);
}

TEST(CacheVerbose, OnlyUnsetEmptyOrOffDisable) {
  for (const char* off : {static_cast<const char*>(nullptr), "", "off"}) {
    ScopedEnvironment verbose("KVN_CACHE_VERBOSE", off);
    EXPECT_FALSE(isCacheVerbose()) << (off ? off : "unset");
  }
  for (const char* on : {"OFF", "0", "no", "on", " off"}) {
    ScopedEnvironment verbose("KVN_CACHE_VERBOSE", on);
    EXPECT_TRUE(isCacheVerbose()) << '"' << on << '"';
  }
}

}  // namespace
