#include "rtkkvn/arrays/error_info.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/test_support.hpp"

namespace {

using rtkkvn::arrays::testing::PooledObjectsTest;
using rtkkvn::arrays::testing::takeLastError;

using ClassInterfaceLastError = PooledObjectsTest;

TEST_F(ClassInterfaceLastError, NullMessageIsUnspecifiedAndTakingEmptiesTheSlot) {
  rtkcppSetLastError("first");  // replaced by the later failure
  rtkcppSetLastError(nullptr);
  EXPECT_EQ(rtkcppErrorCheck(), 0);
  error_info* record = nullptr;
  ASSERT_EQ(rtkcppGetLastError(&record), 0);
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(error_info_get_message(record), "Unspecified error");
  EXPECT_EQ(ref_count_obj_release(record), 0);

  record = reinterpret_cast<error_info*>(&record);  // must be overwritten with NULL
  EXPECT_EQ(rtkcppGetLastError(&record), 0);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(rtkcppErrorCheck(), 1);
  EXPECT_EQ(rtkcppGetLastError(nullptr), -1);
}

TEST_F(ClassInterfaceLastError, EachThreadHasItsOwn) {
  int freshThread = -1, afterOwnFailure = -1, afterOtherFailure = -1;
  std::string otherMessage;
  rtkcppSetLastError("main thread");
  std::thread other([&] {
    freshThread = rtkcppErrorCheck();
    rtkcppSetLastError("other thread");
    afterOwnFailure = rtkcppErrorCheck();
    otherMessage = takeLastError();
  });
  other.join();
  afterOtherFailure = rtkcppErrorCheck();
  EXPECT_EQ(freshThread, 1);
  EXPECT_EQ(afterOwnFailure, 0);
  EXPECT_EQ(otherMessage, "other thread");
  EXPECT_EQ(afterOtherFailure, 0);
  EXPECT_EQ(takeLastError(), "main thread");

  // A record left pending when a thread ends is destroyed with the thread.
  std::thread leaving([] { rtkcppSetLastError("left behind"); });
  leaving.join();
}

TEST_F(ClassInterfaceLastError, CreatedRecordsCarryOneReferenceAndTheirStack) {
  EXPECT_EQ(rtkcppCreateError(nullptr, "x"), -1);
  error_info* record = nullptr;
  ASSERT_EQ(rtkcppCreateError(&record, "made"), 0);
  EXPECT_STREQ(record->get_message(), "made");
  char** lines = reinterpret_cast<char**>(&record);
  EXPECT_EQ(error_info_get_stack_trace(record, &lines), 0u);
  EXPECT_EQ(lines, nullptr);
  EXPECT_EQ(ref_count_obj_addref(record), 2);
  EXPECT_EQ(ref_count_obj_release(record), 1);
  EXPECT_EQ(ref_count_obj_release(record), 0);
  EXPECT_EQ(rtkcppErrorCheck(), 1) << "making a record must not touch the last error";

  setLastErrorWithStack("script failed", {{"/c/f.q", "f", 12}, {"/c/g.q", "g", 3}});
  ASSERT_EQ(rtkcppGetLastError(&record), 0);
  ASSERT_EQ(error_info_get_stack_trace(record, &lines), 2u);
  EXPECT_STREQ(lines[0], "    file /c/f.q, name f, line 12");
  EXPECT_STREQ(lines[1], "    file /c/g.q, name g, line 3");
  record->release();
}

// A record whose destructor fails: release reports it with -1 and the failure's text.
class FailingRecord : public ErrorInfo {
 public:
  using ErrorInfo::ErrorInfo;
  ~FailingRecord() noexcept(false) override { throw std::runtime_error("record would not go"); }
};

TEST_F(ClassInterfaceLastError, AThrowingDestructorMakesReleaseReturnMinusOne) {
  error_info* record = new FailingRecord("doomed");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->addref(), 2);
  EXPECT_EQ(record->release(), 1);
  EXPECT_EQ(record->release(), -1);
  EXPECT_EQ(takeLastError(), "record would not go");
}

using KoException = PooledObjectsTest;

TEST_F(KoException, ConstructorsMakeOrShareRecords) {
  EXPECT_STREQ(koException().what(), "Unspecified error");
  EXPECT_STREQ(koException(static_cast<const char*>(nullptr)).what(), "Unspecified error");
  EXPECT_EQ(koException("").what(), nullptr) << "an empty message reads as NULL";
  EXPECT_STREQ(koException(std::runtime_error("from std")).what(), "from std");
  EXPECT_STREQ(koException(static_cast<error_info*>(nullptr)).what(), "Unspecified error");

  error_info* record = nullptr;
  rtkcppCreateError(&record, "shared");
  {
    koException adopting(record);  // adds a reference: ours stays ours
    koException copy(adopting);
    EXPECT_EQ(copy.what(), adopting.what()) << "copies share one record";
    EXPECT_EQ(record->addref(), 4);  // ours, adopting, copy, and this one
    record->release();
  }
  koException owner(record, false);  // takes our reference over
  EXPECT_EQ(record->addref(), 2);
  record->release();
}

TEST_F(KoException, AssignmentSharesOrReplacesTheRecord) {
  koException target("old");
  koException source("new");
  target = source;
  EXPECT_EQ(target.what(), source.what());
  target = target;  // must not drop the record it shares with itself
  EXPECT_STREQ(target.what(), "new");
  target = std::logic_error("plain");
  EXPECT_STREQ(target.what(), "plain");
  EXPECT_STREQ(source.what(), "new");
}

TEST_F(KoException, RaiseErrorCarriesTheLastErrorWithItsStack) {
  EXPECT_NO_THROW(koException::check_raise_error()) << "nothing pending";
  setLastErrorWithStack("Undefined function 'g'.", {{"/c/main.q", "main", 4}});
  try {
    koException::check_raise_error();
    FAIL() << "a pending error was not raised";
  } catch (const koException& error) {
    EXPECT_STREQ(error.what(), "Undefined function 'g'.");
    EXPECT_EQ(rtkcppErrorCheck(), 1) << "raising takes the error out of the slot";
    ::testing::internal::CaptureStderr();
    error.print_stack_trace();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "... Sorvel Q-code Stack Trace ...\n    file /c/main.q, name main, line 4\n");
  }

  try {
    koException::raise_error();
    FAIL() << "raise_error returned";
  } catch (const koException& error) {
    EXPECT_STREQ(error.what(), "Unspecified error");
    ::testing::internal::CaptureStderr();
    error.print_stack_trace();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no stack lines, nothing printed";
  }
}

// The messages that the operations' tests do not meet (those check the others as the last
// error where the operation fails): unknown names, missing text, extreme values.
TEST_F(KoException, FamilyMessagesAreExact) {
  const std::pair<koException, const char*> cases[] = {
      {ArrayConvertException(zyCHAR_CLASS, "thing"), "Cannot convert type: thing to type: char"},
      {ArrayConvertException(static_cast<const char*>(nullptr), 19),
       "Cannot convert type: unknown to type: unspecified"},
      {NullPointerException(nullptr), "Unspecified error"},
      {IndexOutOfBoundsException(size_t{18446744073709551615u}, 0),
       "Attempt to access element at index 18446744073709551615  in array of size 0"},
      {ArrayStoreException(zyINT16_CLASS, zyLOGICAL_CLASS),
       "Cannot initialize type: int16 with type: logical"},
      {MemoryException(), "Memory allocation error"},
  };
  for (const auto& [error, expected] : cases) EXPECT_STREQ(error.what(), expected);

  const size_t indices[] = {3, 1};
  const size_t dimensions[] = {2, 3};
  EXPECT_STREQ(IndexOutOfBoundsException(indices, dimensions, 2).what(),
               "Attempt to access element at index [3,1] in array of dimensions [2,3]");
  EXPECT_STREQ(IndexOutOfBoundsException(indices, nullptr, 2).what(), "Index out of bounds");
  EXPECT_STREQ(arrayClassName(16), "function");
  EXPECT_STREQ(arrayClassName(5), "unknown");
  EXPECT_STREQ(arrayClassName(-1), "unknown");
}

}  // namespace
