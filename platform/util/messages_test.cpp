#include "util/messages.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Ostrand::rtki18nutil::DeployedException;
using Ostrand::rtki18nutil::printmln;

TEST(UtilMessages, PrintmlnWritesTheTextAsOneLine) {
  std::ostringstream stream;
  KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_FOUND message(std::string("/tmp/kvn_cache"));
  EXPECT_EQ(&printmln(stream, message), &stream);
  printmln(stream, KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR());
  EXPECT_EQ(stream.str(),
            message.text() + "\n" + KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR().text() + "\n");
  EXPECT_NE(stream.str().find("/tmp/kvn_cache"), std::string::npos);
}

TEST(UtilMessages, DeployedExceptionCarriesItsMessage) {
  try {
    throw DeployedException(KVN::rtkkvn::RTKKVN_UNKNOWN_ERROR_IN("standalone/rtkkvn/x", 12));
  } catch (const std::exception& caught) {
    const auto* deployed = dynamic_cast<const DeployedException*>(&caught);
    ASSERT_NE(deployed, nullptr);
    EXPECT_EQ(deployed->message().id(), "RTKKVN_UNKNOWN_ERROR_IN");
    EXPECT_EQ(deployed->message().arguments(),
              (std::vector<std::string>{"standalone/rtkkvn/x", "12"}));
    EXPECT_EQ(std::string(caught.what()), deployed->message().text());
  }
}

}  // namespace
