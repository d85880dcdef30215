#include "base/exceptions.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "base/last_error.hpp"
#include "rtkbase.h"

namespace {

const std::vector<rtkSorvelStackLine> kStack = {{"/c/f.q", "f", 12}, {"/c/g.q", "g", 3}};

TEST(ExceptionFamily, CloneAndRaiseKeepTheDynamicType) {
  const rtkUserException user("RTK:Preferences",
                              KVN::rtkkvn::RTKKVN_PREF_DIR_NOT_EXIST(std::string("/x/.sorvel")));
  std::unique_ptr<rtkBaseException> clone(user.clone());
  EXPECT_EQ(clone->getErrorId(), "RTK:Preferences");
  EXPECT_STREQ(clone->what(), user.getMessage().text().c_str());
  EXPECT_NE(clone->getMessageText().find("/x/.sorvel"), std::string::npos);
  try {
    clone->raise();
    FAIL() << "raise returned";
  } catch (const rtkUserException& raised) {
    EXPECT_EQ(raised.getMessage().id(), "RTKKVN_PREF_DIR_NOT_EXIST");
  }

  const rtkSorvelException script("Q:badsubscript", "Index exceeds array bounds.", kStack);
  std::unique_ptr<rtkBaseException> scriptClone(script.clone());
  EXPECT_EQ(scriptClone->getStackLines(), kStack);
  EXPECT_THROW(scriptClone->raise(), rtkSorvelException);
}

TEST(ExceptionFamily, InternalExceptionIsOutsideTheFamily) {
  try {
    throw rtkInternalException("lost the lock", "standalone/rtkkvn/kvn_cache/rtkcomponentcache",
                               77);
  } catch (const rtkBaseException&) {
    FAIL() << "an internal error must not be taken for a user error";
  } catch (const rtkInternalException& error) {
    EXPECT_STREQ(error.what(), "lost the lock");
    EXPECT_EQ(error.getSourceTag(), "standalone/rtkkvn/kvn_cache/rtkcomponentcache");
    EXPECT_EQ(error.getLine(), 77);
  }
}

TEST(ExceptionFamily, StackStringsNameFileFunctionAndLine) {
  EXPECT_EQ(createStackStrings(kStack),
            (std::vector<std::string>{"    file /c/f.q, name f, line 12",
                                      "    file /c/g.q, name g, line 3"}));
  EXPECT_TRUE(createStackStrings({}).empty());
}

TEST(LastError, HostReadsMessageIdentifierAndStackThenClears) {
  rtkClearLastError();
  EXPECT_EQ(rtkGetLastErrorMessage(), nullptr);
  EXPECT_EQ(rtkGetLastErrorIdentifier(), nullptr);
  EXPECT_EQ(rtkGetLastErrorStackLineCount(), 0u);

  setLastError(new rtkSorvelException("my:id", "it broke", kStack));
  EXPECT_STREQ(rtkGetLastErrorMessage(), "it broke");
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "my:id");
  ASSERT_EQ(rtkGetLastErrorStackLineCount(), 2u);
  EXPECT_STREQ(rtkGetLastErrorStackLine(1), "    file /c/g.q, name g, line 3");
  EXPECT_EQ(rtkGetLastErrorStackLine(2), nullptr);

  // A later error replaces the earlier one completely, stack included.
  setLastError(new rtkBaseException("RTK:Other", "second"));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Other");
  EXPECT_EQ(rtkGetLastErrorStackLineCount(), 0u);

  rtkClearLastError();
  EXPECT_EQ(getLastError(), nullptr);
}

TEST(LastError, ThreadsDoNotSeeEachOthersErrors) {
  setLastError(new rtkBaseException("RTK:Main", "main thread"));
  std::string otherBefore = "unset", otherAfter;
  std::thread other([&] {
    otherBefore = rtkGetLastErrorMessage() ? rtkGetLastErrorMessage() : "none";
    setLastError(new rtkBaseException("RTK:Other", "other thread"));
    otherAfter = rtkGetLastErrorMessage();
  });
  other.join();
  EXPECT_EQ(otherBefore, "none");
  EXPECT_EQ(otherAfter, "other thread");
  EXPECT_STREQ(rtkGetLastErrorMessage(), "main thread");
  rtkClearLastError();
}

}  // namespace
