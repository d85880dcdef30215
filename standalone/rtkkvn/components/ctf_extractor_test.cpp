// The archive extractors and the streams they read, against real archives written by the
// archive library: identity from a file, from memory, from a read callback and from a file in
// which the archive follows other bytes; unpacking and its byte count; the temporary copy that
// extractor copies share; and the C stream handles.

#include "rtkkvn/components/ctf_extractor.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "ctf/ctf_archive.hpp"
#include "ctf/settings_manifest.hpp"
#include "rtkkvn.h"
#include "rtkkvn/components/ctf_streams.hpp"
#include "util/messages.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using Ostrand::rtki18nutil::DeployedException;
using rtkkvn::CtfExtractor;

constexpr char kComponentId[] = "Rechner_00112233445566778899aabbccddeeff";

using rtkutil::testing::contentsOf;
using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;

// Bytes that do not compress, so the archive is large enough for the stream copy to take
// several pieces.
std::string randomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

std::string readAll(std::istream& stream) {
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

template <typename Exception, typename Body, typename Check>
void expectThrows(Body body, Check check) {
  try {
    body();
    ADD_FAILURE() << "nothing was thrown";
  } catch (const Exception& error) {
    check(error);
  }
}

void expectUnreadableArchive(const DeployedException& error) {
  EXPECT_EQ(error.message().id(), "RTKKVN_ERROR_INITIALIZING_CTF");
}

// What the read callback serves: a plain function pointer cannot carry state.
struct CallbackSource {
  enum Behaviour { kDeliver, kThrowStd, kThrowOther, kOverstate };
  std::string bytes;
  std::size_t position = 0;
  int largestAnswer = 1000;
  Behaviour behaviour = kDeliver;
  int calls = 0;
} source;

int readFromSource(char* buffer, int count) {
  ++source.calls;
  if (source.behaviour == CallbackSource::kThrowStd) throw std::runtime_error("device lost");
  if (source.behaviour == CallbackSource::kThrowOther) throw 42;
  const std::size_t n = std::min<std::size_t>({static_cast<std::size_t>(count),
                                               static_cast<std::size_t>(source.largestAnswer),
                                               source.bytes.size() - source.position});
  source.bytes.copy(buffer, n, source.position);
  source.position += n;
  // An overstating callback claims 100 bytes more whenever it filled the whole request.
  const bool full = n == static_cast<std::size_t>(count);
  return static_cast<int>(n) + (source.behaviour == CallbackSource::kOverstate && full ? 100 : 0);
}

rtkCtfStreamPtr streamFromCallback(const std::string& bytes, std::uint64_t size,
                                   CallbackSource::Behaviour behaviour) {
  source = CallbackSource();
  source.bytes = bytes;
  source.behaviour = behaviour;
  if (behaviour == CallbackSource::kOverstate) source.largestAnswer = INT_MAX;
  return rtkGetCtfStreamFromCallBack(&readFromSource, size);
}

class CtfExtractorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = stdfs::temp_directory_path().string() + "/extractor.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = stdfs::canonical(pattern);
    writeFile(root / "component/adder.q", adderText);
    writeFile(root / "component/data/table.bin", table);
    writeFile(root / "preferences/defaults.txt", preferencesText);
    Ostrand::ctfpack::CTFSettings settings;
    settings.componentName = L"Rechner";
    settings.componentId = L"Rechner_00112233445566778899aabbccddeeff";
    archive = root / "Rechner.ctf";
    Ostrand::ctfpack::writeArchive(archive, settings, root / "component", root / "preferences");
    archiveBytes = contentsOf(archive);
    // Temporary archives go to a folder of the test's own, where they can be counted.
    stdfs::create_directory(root / "tmp");
    tmpdir = std::make_unique<ScopedEnvironment>("TMPDIR", (root / "tmp").c_str());
  }
  void TearDown() override {
    tmpdir.reset();
    stdfs::remove_all(root);
  }

  std::vector<stdfs::path> temporaryFiles() const {
    return {stdfs::directory_iterator(root / "tmp"), stdfs::directory_iterator()};
  }

  // Unpacks with the extractor into a fresh folder and checks that every packed file arrived
  // and that the answer is the size of the unpacked files: the packed ones and the manifest.
  void expectUnpacks(const CtfExtractor& extractor, const std::string& folderName) {
    const stdfs::path dir = root / folderName;
    const std::uint64_t total = extractor(dir.c_str());
    EXPECT_EQ(contentsOf(dir / kComponentId / "adder.q"), adderText);
    EXPECT_EQ(contentsOf(dir / kComponentId / "data/table.bin"), table);
    EXPECT_EQ(contentsOf(dir / ".sorvel/defaults.txt"), preferencesText);
    EXPECT_EQ(total, adderText.size() + table.size() + preferencesText.size() +
                         stdfs::file_size(dir / Ostrand::ctfpack::kSettingsManifestName));
  }

  void expectIdentity(const CtfExtractor& extractor) {
    EXPECT_EQ(extractor.get_component_id(), kComponentId);
    EXPECT_EQ(extractor.get_name(), "Rechner");
  }

  stdfs::path root;
  stdfs::path archive;
  std::string archiveBytes;
  const std::string adderText = "function c = adder(a, b)\n  c = a + b;\nend\n";
  const std::string table = randomBytes(100000, 7);
  const std::string preferencesText = "precision=long\n";
  std::unique_ptr<ScopedEnvironment> tmpdir;
};

TEST(CtfExtractorValue, WithoutArchiveOnlyTheGivenPartsAreSet) {
  const CtfExtractor none;
  EXPECT_EQ(none("/nowhere"), 0u);
  EXPECT_EQ(none.get_component_id(), "");
  EXPECT_EQ(none.get_name(), "");

  std::string seen;
  const CtfExtractor::ExtractFunction f = [&seen](const char* dir) {
    seen = dir;
    return std::uint64_t{42};
  };
  CtfExtractor named("X_00112233445566778899aabbccddeeff", f);
  EXPECT_EQ(named.get_component_id(), "X_00112233445566778899aabbccddeeff");
  EXPECT_EQ(named.get_name(), "");
  CtfExtractor assigned;
  assigned = named;
  EXPECT_EQ(assigned("/target"), 42u);
  EXPECT_EQ(seen, "/target");
  EXPECT_EQ(assigned.get_component_id(), named.get_component_id());
  EXPECT_EQ(CtfExtractor(f)("/other"), 42u);
  EXPECT_EQ(seen, "/other");
}

TEST(CtfExtractorValue, AlwaysFailExtractorNamesItsComponentAndRefusesToUnpack) {
  const CtfExtractor extractor = rtkMakeAlwaysFailExtractor(kComponentId);
  EXPECT_EQ(extractor.get_component_id(), kComponentId);
  EXPECT_EQ(extractor.get_name(), "");
  expectThrows<rtkInternalException>([&] { extractor("/tmp/never"); },
                                     [](const rtkInternalException& error) {
                                       EXPECT_EQ(error.getText(), "rtkAlwaysFailExtracted Failed");
                                       EXPECT_EQ(error.getSourceTag(),
                                                 "standalone/rtkkvn/rtkalwaysfailextractor");
                                       EXPECT_EQ(error.getLine(), 43);
                                     });
}

TEST_F(CtfExtractorTest, FileExtractorReadsIdentityAndUnpacksWithoutTemporaryCopy) {
  const CtfExtractor extractor = rtkMakeCtfFileExtractor(archive.c_str());
  expectIdentity(extractor);
  EXPECT_TRUE(temporaryFiles().empty());
  expectUnpacks(extractor, "unpacked");
}

TEST_F(CtfExtractorTest, FileExtractorFaults) {
  writeFile(root / "notes.txt", "not an archive");
  expectThrows<DeployedException>([&] { rtkMakeCtfFileExtractor((root / "notes.txt").c_str()); },
                                  expectUnreadableArchive);
  expectThrows<DeployedException>([&] { rtkMakeCtfFileExtractor((root / "none.ctf").c_str()); },
                                  expectUnreadableArchive);

  // The archive goes away between reading its identity and unpacking it.
  const CtfExtractor extractor = rtkMakeCtfFileExtractor(archive.c_str());
  stdfs::remove(archive);
  expectThrows<rtkUserException>(
      [&] { extractor((root / "target").c_str()); },
      [&](const rtkUserException& error) {
        EXPECT_EQ(error.getErrorId(), "RTK:CTFExtractor");
        EXPECT_EQ(error.getMessage().id(), "RTKKVN_CANNOT_FIND_CTF_ARCHIVE");
        EXPECT_EQ(error.getMessage().arguments(), std::vector<std::string>{archive.string()});
      });
  EXPECT_FALSE(stdfs::exists(root / "target"));

  expectThrows<rtkInternalException>(
      [&] { extractCtfFile((root / "target").string(), (root / "notes.txt").string()); },
      [](const rtkInternalException& error) {
        EXPECT_EQ(error.getText(),
                  "An error occurred while trying to extract a component from a file.");
        EXPECT_EQ(error.getSourceTag(), "standalone/rtkkvn/rtkctffileextractor");
        EXPECT_EQ(error.getLine(), 75);
      });
}

TEST_F(CtfExtractorTest, StreamExtractorCopiesTheArchiveAndLeavesTheStreamWhereItWas) {
  std::string bytes = archiveBytes;
  rtkCtfStreamPtr stream =
      rtkGetCtfStreamFromArraySrc(bytes.data(), static_cast<int>(bytes.size()));
  ASSERT_TRUE(stream);
  const CtfExtractor extractor = rtkMakeCtfStreamExtractor(stream);
  expectIdentity(extractor);
  EXPECT_EQ(stream->tellg(), std::streampos(0));
  char magic[2];
  EXPECT_TRUE(stream->read(magic, 2));
  EXPECT_EQ(std::string(magic, 2), "PK");
  const std::vector<stdfs::path> copies = temporaryFiles();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(contentsOf(copies[0]), archiveBytes);
  EXPECT_EQ(stdfs::status(copies[0]).permissions() & stdfs::perms::all,
            stdfs::perms::owner_read | stdfs::perms::owner_write);

  // Unpacking reads the copy: the source bytes may be gone by then.
  stream.reset();
  bytes.assign(bytes.size(), '\0');
  expectUnpacks(extractor, "unpacked");
}

TEST_F(CtfExtractorTest, CopiesShareTheTemporaryArchiveUntilTheLastIsGone) {
  auto first = std::make_unique<CtfExtractor>(rtkMakeCtfStreamExtractor(
      rtkGetCtfStreamFromArraySrc(archiveBytes.data(), static_cast<int>(archiveBytes.size()))));
  auto second = std::make_unique<CtfExtractor>(*first);
  CtfExtractor last;
  last = *second;
  ASSERT_EQ(temporaryFiles().size(), 1u);
  first.reset();
  second.reset();
  ASSERT_EQ(temporaryFiles().size(), 1u);
  expectIdentity(last);
  expectUnpacks(last, "unpacked");
  last = CtfExtractor();
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(CtfExtractorTest, ArchiveAfterOtherBytesIsFoundThroughModuleAndMemoryStreams) {
  const std::string program =
      "\x7f"
      "ELF" +
      randomBytes(70000, 3) + archiveBytes;
  writeFile(root / "program", program);
  void* handle = rtkGetEmbeddedCtfStream((root / "program").c_str());
  ASSERT_NE(handle, nullptr);
  const rtkCtfStreamPtr fileStream = *static_cast<rtkCtfStreamPtr*>(handle);
  fileStream->seekg(1234);
  const CtfExtractor fromFile = rtkMakeCtfStreamExtractor(fileStream);
  EXPECT_EQ(fileStream->tellg(), std::streampos(1234));
  rtkDestroyStream(handle);
  expectIdentity(fromFile);
  expectUnpacks(fromFile, "unpacked");

  const CtfExtractor fromMemory = rtkMakeCtfStreamExtractor(
      rtkGetCtfStreamFromArraySrc(program.data(), static_cast<int>(program.size())));
  expectIdentity(fromMemory);
}

TEST_F(CtfExtractorTest, StreamWithoutArchiveLeavesNoTemporaryFile) {
  const std::string text = "plain text, no archive";
  expectThrows<DeployedException>(
      [&] {
        rtkMakeCtfStreamExtractor(
            rtkGetCtfStreamFromArraySrc(text.data(), static_cast<int>(text.size())));
      },
      expectUnreadableArchive);
  // A handle over no bytes holds no stream; made into an extractor it is an unreadable archive.
  void* handle = rtkGetStreamFromArraySrc(nullptr, 10);
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(*static_cast<rtkCtfStreamPtr*>(handle));
  expectThrows<DeployedException>(
      [&] { rtkMakeCtfStreamExtractor(*static_cast<rtkCtfStreamPtr*>(handle)); },
      expectUnreadableArchive);
  rtkDestroyStream(handle);
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(CtfExtractorTest, CallbackStreamCopiesExactlyTheAnnouncedBytes) {
  const rtkCtfStreamPtr stream =
      streamFromCallback(archiveBytes, archiveBytes.size(), CallbackSource::kDeliver);
  ASSERT_TRUE(stream);
  expectIdentity(rtkMakeCtfStreamExtractor(stream));
  EXPECT_EQ(readAll(*stream), archiveBytes);
  stream->clear();
  EXPECT_EQ(stream->seekg(0, std::ios::end).tellg(), std::streampos(archiveBytes.size()));

  // Fewer bytes than the source holds: exactly those.
  EXPECT_EQ(readAll(*streamFromCallback(archiveBytes, 10, CallbackSource::kDeliver)),
            archiveBytes.substr(0, 10));
  // A callback that claims more than it was asked for is held to what it was asked.
  const rtkCtfStreamPtr overstated =
      streamFromCallback(archiveBytes, archiveBytes.size(), CallbackSource::kOverstate);
  ASSERT_TRUE(overstated);
  EXPECT_EQ(readAll(*overstated), archiveBytes);
}

TEST(CtfStreams, CallbackStreamFailuresGiveEmptyPointers) {
  const std::string bytes = "0123456789";
  EXPECT_FALSE(streamFromCallback(bytes, bytes.size() + 1, CallbackSource::kDeliver));
  EXPECT_FALSE(streamFromCallback(bytes, 0, CallbackSource::kDeliver));
  EXPECT_EQ(source.calls, 0);
  EXPECT_FALSE(streamFromCallback(bytes, bytes.size(), CallbackSource::kThrowStd));
  EXPECT_FALSE(streamFromCallback(bytes, bytes.size(), CallbackSource::kThrowOther));
  EXPECT_FALSE(rtkGetCtfStreamFromCallBack(nullptr, 4));
}

TEST(CtfStreams, MemoryStreamReadsTheCallersBytesInPlace) {
  char bytes[] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(rtkGetCtfStreamFromArraySrc(nullptr, 4));
  EXPECT_FALSE(rtkGetCtfStreamFromArraySrc(bytes, 0));
  EXPECT_FALSE(rtkGetCtfStreamFromArraySrc(bytes, -4));

  const rtkCtfStreamPtr stream = rtkGetCtfStreamFromArraySrc(bytes, 3);
  ASSERT_TRUE(stream);
  bytes[1] = 'B';
  EXPECT_EQ(readAll(*stream), "aBc");
  stream->clear();
  EXPECT_EQ(stream->seekg(-1, std::ios::end).get(), 'c');
}

TEST(CtfStreams, CHandles) {
  rtkDestroyStream(nullptr);

  const char bytes[] = "xyz";
  void* memory = rtkGetStreamFromArraySrc(bytes, 3);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(readAll(**static_cast<rtkCtfStreamPtr*>(memory)), "xyz");
  rtkDestroyStream(memory);

  void* self = rtkGetEmbeddedCtfStream(nullptr);
  ASSERT_NE(self, nullptr);
  const std::string executable = readAll(**static_cast<rtkCtfStreamPtr*>(self));
  rtkDestroyStream(self);
  EXPECT_EQ(executable.substr(0, 4),
            "\x7f"
            "ELF");
  EXPECT_EQ(executable, contentsOf(stdfs::read_symlink("/proc/self/exe")));

  EXPECT_EQ(rtkGetEmbeddedCtfStream("/no/such/module"), nullptr);
  EXPECT_EQ(rtkGetEmbeddedCtfStream(stdfs::temp_directory_path().c_str()), nullptr);
}

}  // namespace
