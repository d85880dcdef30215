#include "util/warnings.hpp"

#include <gtest/gtest.h>

namespace {

// The default context lives for the whole test program: every test uses identifiers of its own
// and turns back on what it turned off.

TEST(UtilWarningContext, WarningsAreOnUntilTurnedOffOnePerIdentifier) {
  utWarningContext* context = utGetWarningContext();
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(utGetWarningContext(), context);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:NeverSet"), 1);

  ASSERT_EQ(ut_set_warning_status_id(context, "KVN:Test:Off", 0), 0);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:Off"), 0);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "KVN:Test:Off"), 0) << "null means current";
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:Other"), 1);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:OFF"), 1) << "letter case counts";
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test"), 1) << "no prefix matching";

  ASSERT_EQ(ut_set_warning_status_id(nullptr, "KVN:Test:Off", 7), 0);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:Off"), 1);
  EXPECT_EQ(ut_set_warning_status_id(context, nullptr, 0), -1);
}

TEST(UtilWarningContext, AllTurnsEveryWarningOffAndOnAtOnce) {
  utWarningManager* manager = utInstallWarningManager();  // keeps "all" away from other tests
  ASSERT_NE(manager, nullptr);
  utWarningContext* context = utGetWarningContext();
  ut_set_warning_status_id(context, "KVN:Test:WasOn", 1);
  ut_set_warning_status_id(context, "all", 0);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:WasOn"), 0);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:NeverSet"), 0);
  EXPECT_EQ(ut_get_warning_status_id(context, "all"), 0);

  ut_set_warning_status_id(context, "KVN:Test:Single", 1);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:Single"), 1);
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:NeverSet"), 0);

  ut_set_warning_status_id(context, "KVN:Test:Single", 0);
  ut_set_warning_status_id(context, "all", 1);  // forgets the single states as well
  EXPECT_EQ(ut_get_warning_status_id(context, "KVN:Test:Single"), 1);
  EXPECT_EQ(utRemoveWarningManager(manager), 1);
}

TEST(UtilWarningContext, RemovingTheCurrentManagerRestoresThePreviousContext) {
  ASSERT_EQ(utGetWarningManager(), nullptr);
  utWarningContext* defaultContext = utGetWarningContext();
  ut_set_warning_status_id(defaultContext, "KVN:Test:OffInDefault", 0);

  utWarningManager* first = utInstallWarningManager();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(utGetWarningManager(), first);
  utWarningContext* firstContext = utGetWarningContext();
  EXPECT_NE(firstContext, defaultContext);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "KVN:Test:OffInDefault"), 1) << "fresh context";
  ut_set_warning_status_id(nullptr, "KVN:Test:OffInFirst", 0);
  EXPECT_EQ(ut_get_warning_status_id(defaultContext, "KVN:Test:OffInFirst"), 1);

  utWarningManager* second = utInstallWarningManager();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(utGetWarningContext(), firstContext);
  EXPECT_EQ(utRemoveWarningManager(second), 1);
  EXPECT_EQ(utGetWarningContext(), firstContext);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "KVN:Test:OffInFirst"), 0);

  // A manager that is no longer current goes without disturbing the current one.
  second = utInstallWarningManager();
  EXPECT_EQ(utRemoveWarningManager(first), 0);
  EXPECT_EQ(utGetWarningManager(), second);
  EXPECT_EQ(utRemoveWarningManager(second), 1);
  EXPECT_EQ(utGetWarningManager(), nullptr);
  EXPECT_EQ(utRemoveWarningManager(second), 0) << "already gone";

  EXPECT_EQ(utGetWarningContext(), defaultContext);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "KVN:Test:OffInDefault"), 0);
  ut_set_warning_status_id(defaultContext, "KVN:Test:OffInDefault", 1);
}

}  // namespace
