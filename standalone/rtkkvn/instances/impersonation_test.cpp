// Impersonated calls as a host makes them, run as root: a file that a Q function writes during
// the call (through a host function it calls) belongs to the given user, and the calling thread
// has its own identity again afterwards, also when the call fails.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn_error.h"
#include "util/services.hpp"

namespace {

namespace stdfs = std::filesystem;

constexpr uid_t kNobody = 65534;
std::string gTarget;  // the file the host function "writefile" creates

// Creates gTarget, as Q code asks through "writefile".
void hostWriteFile(int, zyArray**, int, zyArray**) {
  const int descriptor = ::open(gTarget.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
  if (descriptor < 0) zyErrMsgIdAndTxt("impersonation:open", "cannot create the file");
  const bool written = ::write(descriptor, "x", 1) == 1;
  ::close(descriptor);
  if (!written) zyErrMsgIdAndTxt("impersonation:write", "cannot write the file");
}

uid_t threadFsUid() { return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))); }
gid_t threadFsGid() { return static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))); }

class Impersonation : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "impersonation needs root";
    const passwd* nobody = ::getpwuid(kNobody);
    if (nobody == nullptr) GTEST_SKIP() << "no user " << kNobody;
    nobodyGroup_ = nobody->pw_gid;
    svSetStandaloneMode(true);
    rtkClearLastError();
    folder_ = stdfs::temp_directory_path() / ("rtkkvn_imp_" + std::to_string(::getpid()));
    stdfs::create_directories(folder_);
    stdfs::permissions(folder_, stdfs::perms::all);  // the other user may create files here
    std::ofstream(folder_ / "writer.q") << "function writer()\nwritefile();\n";
    std::ofstream(folder_ / "writefail.q")
        << "function writefail()\nwritefile();\nerror('imp:fail', 'failed after writing');\n";
    instance_ = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance_, nullptr);
    ASSERT_TRUE(qpAddDir(rtkHandleToKvnInstancePtr(instance_)->GetDispatcher().get_path(),
                         folder_.string(), kQpAddAtFront));
    ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "writefile", hostWriteFile));
  }
  void TearDown() override {
    if (instance_) {
      EXPECT_TRUE(rtkTerminateInstance(&instance_));
    }
    if (!folder_.empty()) stdfs::remove_all(folder_);
  }
  // Owner and group of a file the call was to write.
  static bool ownerOf(const stdfs::path& file, uid_t* user, gid_t* group) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return false;
    *user = status.st_uid;
    *group = status.st_gid;
    return true;
  }
  void expectOwnIdentity() {
    EXPECT_EQ(threadFsUid(), ::geteuid());
    EXPECT_EQ(threadFsGid(), ::getegid());
  }

  stdfs::path folder_;
  HKVNINSTANCE instance_ = nullptr;
  gid_t nobodyGroup_ = 0;
};

TEST_F(Impersonation, FilesWrittenDuringTheCallBelongToTheUser) {
  uid_t user = 0;
  gid_t group = 0;
  gTarget = (folder_ / "impersonated").string();
  ASSERT_TRUE(rtkImpersonationFeval(instance_, "writer", 0, nullptr, 0, nullptr, kNobody))
      << rtkGetLastErrorMessage();
  ASSERT_TRUE(ownerOf(gTarget, &user, &group));
  EXPECT_EQ(user, kNobody);
  EXPECT_EQ(group, nobodyGroup_);
  expectOwnIdentity();

  // A plain call afterwards writes as the process itself.
  gTarget = (folder_ / "plain").string();
  ASSERT_TRUE(rtkFeval(instance_, "writer", 0, nullptr, 0, nullptr));
  ASSERT_TRUE(ownerOf(gTarget, &user, &group));
  EXPECT_EQ(user, ::geteuid());
  EXPECT_EQ(group, ::getegid());
}

TEST_F(Impersonation, AFailedCallStillGivesTheIdentityBack) {
  uid_t user = 0;
  gid_t group = 0;
  gTarget = (folder_ / "beforeError").string();
  EXPECT_FALSE(rtkImpersonationFeval(instance_, "writefail", 0, nullptr, 0, nullptr, kNobody));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "imp:fail");
  ASSERT_TRUE(ownerOf(gTarget, &user, &group));
  EXPECT_EQ(user, kNobody);
  expectOwnIdentity();

  // A user the system does not know is refused before the call; nothing is written.
  uid_t unknown = 3999999;
  while (::getpwuid(unknown) != nullptr) --unknown;
  gTarget = (folder_ / "unknownUser").string();
  rtkClearLastError();
  EXPECT_FALSE(rtkImpersonationFeval(instance_, "writer", 0, nullptr, 0, nullptr, unknown));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Runtime:Feval");
  EXPECT_FALSE(stdfs::exists(gTarget));
  expectOwnIdentity();

  // A bad handle fails without touching the identity.
  EXPECT_FALSE(rtkImpersonationFeval(nullptr, "writer", 0, nullptr, 0, nullptr, kNobody));
  EXPECT_FALSE(stdfs::exists(gTarget));
  expectOwnIdentity();

  // Giving back an identity the thread already has is harmless.
  EXPECT_NO_THROW(stopImpersonationOnKVNThread());
  expectOwnIdentity();
}

}  // namespace
