// The component record and the settings copy it carries, against real folders and real
// directory locks. The cross-process case forks a child that tries the write lock.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "ctf/ctf_package.hpp"
#include "ctf/opc_exception.hpp"
#include "fs/directory_lock.hpp"
#include "fs/errors.hpp"
#include "rtkkvn/components/component_data.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "util/text_conversion.hpp"

namespace {

namespace stdfs = std::filesystem;
using Ostrand::ctfpack::CTFPackage;
using Ostrand::ctfpack::CTFSettings;

constexpr char kUUID[] = "Rechner_00112233445566778899aabbccddeeff";

class ComponentRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/component.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    folder = root + "/Rechner_kvn";
    stdfs::create_directory(folder);

    CTFSettings settings;
    settings.componentName = L"Rechner";
    settings.componentId = fl::i18n::to_ustring(kUUID);
    settings.componentBlobA = Ostrand::ctfdata::CTFByteArray(std::string("A\0\xff", 3));
    settings.componentBlobB = Ostrand::ctfdata::CTFByteArray(std::string("\0", 1));
    settings.searchPath = {L"Rechner_00112233445566778899aabbccddeeff/größen", L"$(ROOT)/x"};
    settings.javaClassPath = {L"lib/app.jar"};
    settings.pathEntries = {L"bin", L"native/日本"};
    settings.publicFunctions = {{L"add"}, {L"größe"}, {L"Mul"}};
    settings.warningStates = {L"off:Sorvel:divideByZero", L"on: ünicode:id"};
    settings.mainFunction = L"unused here";
    CTFPackage::writeCTFSettingsToExtractedCTFLocation(fl::i18n::to_ustring(folder), settings);
  }
  void TearDown() override { stdfs::remove_all(root); }

  // Whether a writer that is not this record (a lock object of its own) can take the folder
  // now. A writer is refused while any reader holds it.
  bool writerCanTakeFolder() const {
    dsDirectoryReadWriteLock other(folder);
    auto writer = other.getWriteLock();
    return writer.tryAcquire(false);
  }

  // The same question asked by another process.
  bool writerInOtherProcessCanTakeFolder() const {
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
      int status = 2;
      try {
        dsDirectoryReadWriteLock other(folder);
        auto writer = other.getWriteLock();
        status = writer.tryAcquire(false) ? 0 : 1;
      } catch (...) {
      }
      ::_exit(status);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
      throw std::runtime_error("the child could not ask for the lock");
    }
    return WEXITSTATUS(status) == 0;
  }

  boost::shared_ptr<rtkComponentData> data() const {
    return boost::make_shared<rtkComponentData>(folder.c_str());
  }

  std::string root;
  std::string folder;
};

TEST_F(ComponentRecord, DataCopiesTheFieldsOfTheSettings) {
  const rtkComponentData componentData(folder.c_str());
  EXPECT_EQ(componentData.getUUID(), kUUID);
  EXPECT_EQ(componentData.getComponentBlobA(), std::string("A\0\xff", 3));
  EXPECT_EQ(componentData.getComponentBlobB(), std::string("\0", 1));
  EXPECT_EQ(componentData.getSearchPathEntries(),
            (std::vector<std::wstring>{L"Rechner_00112233445566778899aabbccddeeff/größen",
                                       L"$(ROOT)/x"}));
  EXPECT_EQ(componentData.getJavaClassPathEntries(), std::vector<std::wstring>{L"lib/app.jar"});
  EXPECT_EQ(componentData.getPathEnvEntries(),
            (std::vector<std::string>{"bin", "native/\xe6\x97\xa5\xe6\x9c\xac"}))
      << "narrow text is UTF-8";
  EXPECT_EQ(componentData.getWarningStates(),
            (std::vector<std::string>{"off:Sorvel:divideByZero", "on: \xc3\xbcnicode:id"}));
}

TEST_F(ComponentRecord, PublicFunctionLookupIsExactAndCaseSensitive) {
  const rtkComponentData componentData(folder.c_str());
  EXPECT_TRUE(componentData.isPublicFunction("add"));
  EXPECT_TRUE(componentData.isPublicFunction("Mul"));
  EXPECT_TRUE(
      componentData.isPublicFunction("gr\xc3\xb6\xc3\x9f"
                                     "e"));
  for (const char* name :
       {"Add", "ADD", "mul", "ad", "add ", " add", "addx", "", "größ", "GRÖSSE", "unused here"}) {
    EXPECT_FALSE(componentData.isPublicFunction(name)) << name;
  }
  EXPECT_FALSE(componentData.isPublicFunction(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(componentData.isPublicFunction(std::string("add\0", 4)));
}

TEST_F(ComponentRecord, ReadFailuresReachTheCaller) {
  EXPECT_THROW(rtkComponentData((root + "/missing").c_str()), dsNoSuchDirectory);
  EXPECT_THROW(rtkExtractedComponent(root + "/missing", root + "/prefs"), dsNoSuchDirectory);
  stdfs::create_directory(root + "/empty");
  EXPECT_THROW(rtkComponentData((root + "/empty").c_str()), opc::Exception);
}

TEST_F(ComponentRecord, RecordReadFromItsFolderHoldsNoLock) {
  rtkExtractedComponent record(folder, root + "/prefs/" + kUUID);
  EXPECT_EQ(record.getComponentUUID(), kUUID) << "read from the folder's settings";
  ASSERT_TRUE(record.getComponentData());
  EXPECT_EQ(record.getComponentData()->getUUID(), kUUID);
  EXPECT_EQ(record.getComponentData(), record.getComponentData()) << "shared, not copied";
  EXPECT_FALSE(record.IsUseComponentCache());
  EXPECT_TRUE(writerCanTakeFolder());
}

TEST_F(ComponentRecord, LockedRecordKeepsWritersOutUntilItIsGone) {
  const auto componentData = data();
  auto record = boost::make_shared<rtkExtractedComponent>(folder, root + "/prefs", "given-uuid",
                                                          componentData, true, true);
  EXPECT_EQ(record->getComponentUUID(), "given-uuid") << "the given identifier is kept";
  EXPECT_EQ(record->getComponentData(), componentData);
  EXPECT_TRUE(record->IsUseComponentCache());
  EXPECT_FALSE(writerCanTakeFolder());
  EXPECT_FALSE(writerInOtherProcessCanTakeFolder());
  {
    dsDirectoryReadWriteLock other(folder);
    auto reader = other.getReadLock();
    EXPECT_TRUE(reader.tryAcquire(false)) << "readers share the folder";
  }
  record.reset();
  EXPECT_TRUE(writerInOtherProcessCanTakeFolder());
  EXPECT_TRUE(writerCanTakeFolder());
}

TEST_F(ComponentRecord, UnlockedRecordNeitherTakesNorReleasesTheLock) {
  dsDirectoryReadWriteLock other(folder);
  auto reader = other.getReadLock();
  {
    rtkExtractedComponent record(folder, root + "/prefs", kUUID, data(), false, true);
    EXPECT_TRUE(writerCanTakeFolder());
    EXPECT_TRUE(writerInOtherProcessCanTakeFolder());
    ASSERT_TRUE(reader.tryAcquire(false));
  }
  EXPECT_FALSE(writerCanTakeFolder()) << "the record's end left the other reader's lock alone";
  EXPECT_FALSE(writerInOtherProcessCanTakeFolder());
}

TEST_F(ComponentRecord, RecordMadeWhileAWriterHoldsTheFolderHasNoLock) {
  dsDirectoryReadWriteLock other(folder);
  auto writer = other.getWriteLock();
  ASSERT_TRUE(writer.tryAcquire(false));
  int cleanups = 0;
  {
    rtkExtractedComponent record(
        folder, root + "/prefs", kUUID, [&] { ++cleanups; }, data(), true, true);
    writer.release();
    EXPECT_TRUE(writerCanTakeFolder()) << "the failed try left the record without a lock";
    EXPECT_TRUE(writerInOtherProcessCanTakeFolder());
  }
  EXPECT_EQ(cleanups, 1);
}

TEST_F(ComponentRecord, CleanupRunsAfterTheReadLockIsReleased) {
  int cleanups = 0;
  bool folderWasFree = false;
  auto record = boost::make_shared<rtkExtractedComponent>(
      folder, root + "/prefs", kUUID,
      [&] {
        ++cleanups;
        folderWasFree = writerCanTakeFolder();
      },
      data(), true, true);
  EXPECT_FALSE(writerCanTakeFolder());
  EXPECT_EQ(cleanups, 0) << "clean-up belongs to the end of the record";
  record.reset();
  EXPECT_EQ(cleanups, 1);
  EXPECT_TRUE(folderWasFree);

  // A failing clean-up must not take the process with it.
  EXPECT_NO_THROW(rtkExtractedComponent(
      folder, root + "/prefs", kUUID, [] { throw std::runtime_error("cache gone"); }, data(), true,
      true));
  EXPECT_NO_THROW(rtkExtractedComponent(folder, root + "/prefs", kUUID, boost::function<void()>(),
                                        data(), false, false))
      << "an empty clean-up is not called";
}

}  // namespace
