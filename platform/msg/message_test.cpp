#include "msg/message.hpp"

#include <gtest/gtest.h>

#include <set>

namespace {

// Every entry of the catalogue: known by its identifier, identifiers unique and sorted, each
// placeholder in range and every argument used, so no text can lose a value it was given.
TEST(MessageCatalogue, EveryEntryUsesExactlyItsArguments) {
  const auto& catalogue = KVN::messageCatalogue();
  ASSERT_GE(catalogue.size(), 38u);
  std::set<std::string> seen;
  std::string previous;
  for (const auto& entry : catalogue) {
    SCOPED_TRACE(entry.id);
    EXPECT_TRUE(seen.insert(entry.id).second) << "duplicate identifier";
    EXPECT_LT(previous, entry.id) << "catalogue out of order";
    previous = entry.id;
    EXPECT_EQ(std::string(entry.id).rfind("RTKKVN_", 0), 0u);
    EXPECT_EQ(KVN::findMessage(entry.id), &entry);

    std::vector<std::string> arguments;
    for (int i = 0; i < entry.argumentCount; ++i)
      arguments.push_back("<arg" + std::to_string(i + 1) + ">");
    KVN::Message message(entry.id, arguments);
    const std::string text = message.text();
    EXPECT_FALSE(text.empty());
    for (const auto& argument : arguments) EXPECT_NE(text.find(argument), std::string::npos);
    EXPECT_EQ(text.find('{'), std::string::npos) << "placeholder left in: " << text;
  }
}

TEST(MessageCatalogue, TypedClassesCarryTheirArguments) {
  KVN::rtkkvn::RTKKVN_UNKNOWN_ERROR_IN unknown("standalone/rtkkvn/kvn_inst", 212);
  EXPECT_EQ(unknown.id(), "RTKKVN_UNKNOWN_ERROR_IN");
  EXPECT_EQ(unknown.arguments(), (std::vector<std::string>{"standalone/rtkkvn/kvn_inst", "212"}));
  EXPECT_NE(unknown.text().find("standalone/rtkkvn/kvn_inst"), std::string::npos);
  EXPECT_NE(unknown.text().find("212"), std::string::npos);

  KVN::Message copy = KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_FOUND(std::string("/tmp/cache"));
  EXPECT_EQ(copy.id(), "RTKKVN_CACHE_DIR_NOT_FOUND");
  EXPECT_NE(copy.text().find("\"/tmp/cache\""), std::string::npos);
}

TEST(MessageCatalogue, ACauseFollowsTheFixedWordsAndKeepsTheIdentity) {
  const KVN::Message plain = KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR();
  const KVN::Message caused = plain.withCause("/tmp/u/kvnCache8.1: mode 0777");
  EXPECT_EQ(caused.id(), plain.id());
  EXPECT_TRUE(caused.arguments().empty());
  EXPECT_EQ(caused.text(),
            "The component cache could not be read or written: /tmp/u/kvnCache8.1: mode 0777");
  EXPECT_EQ(plain.withCause("").text(), plain.text());
}

TEST(MessageCatalogue, RejectsUnknownIdentifiersAndWrongArgumentCounts) {
  EXPECT_EQ(KVN::findMessage("RTKKVN_NO_SUCH_THING"), nullptr);
  EXPECT_THROW(KVN::Message("RTKKVN_NO_SUCH_THING", {}), std::invalid_argument);
  EXPECT_THROW(KVN::Message("RTKKVN_CACHE_DIR_NOT_FOUND", {}), std::invalid_argument);
  EXPECT_THROW(KVN::Message("RTKKVN_CACHE_ACCESS_ERROR", {"extra"}), std::invalid_argument);
}

}  // namespace
