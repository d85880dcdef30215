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
#include <functional>
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

rtkCtfStreamPtr streamOver(const std::string& bytes) {
  return rtkGetCtfStreamFromArraySrc(bytes.data(), static_cast<int>(bytes.size()));
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

  // Checks the identity the extractor read, unpacks with it into a fresh folder and checks that
  // every packed file arrived and that the answer is the size of the unpacked files: the packed
  // ones and the manifest.
  void expectUnpacks(const CtfExtractor& extractor, const std::string& folderName) {
    EXPECT_EQ(extractor.get_component_id(), kComponentId);
    EXPECT_EQ(extractor.get_name(), "Rechner");
    const stdfs::path dir = root / folderName;
    const std::uint64_t total = extractor(dir.c_str());
    EXPECT_EQ(contentsOf(dir / kComponentId / "adder.q"), adderText);
    EXPECT_TRUE(contentsOf(dir / kComponentId / "data/table.bin") == table);
    EXPECT_EQ(contentsOf(dir / ".sorvel/defaults.txt"), preferencesText);
    EXPECT_EQ(total, adderText.size() + table.size() + preferencesText.size() +
                         stdfs::file_size(dir / Ostrand::ctfpack::kSettingsManifestName));
  }

  stdfs::path root;
  stdfs::path archive;
  std::string archiveBytes;
  const std::string adderText = "function c = adder(a, b)\n  c = a + b;\nend\n";
  const std::string table = randomBytes(100000, 7);
  const std::string preferencesText = "precision=long\n";
  std::unique_ptr<ScopedEnvironment> tmpdir;
};

TEST(CtfExtractorValue, ExtractorsWithoutArchiveDoWhatTheyAreGiven) {
  const CtfExtractor none;
  EXPECT_EQ(none("/nowhere"), 0u);
  EXPECT_EQ(none.get_component_id(), "");
  std::string seen;
  const CtfExtractor named("X_00112233445566778899aabbccddeeff", [&seen](const char* dir) {
    seen = dir;
    return std::uint64_t{42};
  });
  CtfExtractor assigned;
  assigned = named;
  EXPECT_EQ(assigned("/target"), 42u);
  EXPECT_EQ(seen, "/target");
  EXPECT_EQ(assigned.get_component_id(), "X_00112233445566778899aabbccddeeff");
  EXPECT_EQ(assigned.get_name(), "");
  // The always-failing extractor names its component and refuses to unpack.
  const CtfExtractor failing = rtkMakeAlwaysFailExtractor(kComponentId);
  EXPECT_EQ(failing.get_component_id(), kComponentId);
  EXPECT_THROW(failing((stdfs::temp_directory_path() / "never").c_str()), rtkInternalException);
}

// Each source of an archive gives the same identity and the same unpack. A stream is left where
// it stood and copied to one temporary file, which goes with the extractor.
TEST_F(CtfExtractorTest, EverySourceGivesTheIdentityAndTheWholeUnpack) {
  expectUnpacks(rtkMakeCtfFileExtractor(archive.c_str()), "from a file");
  EXPECT_TRUE(temporaryFiles().empty()) << "a file is read where it lies";
  const std::string program = "\x7f" + std::string("ELF") + randomBytes(70000, 3) + archiveBytes;
  writeFile(root / "program", program);
  void* module = rtkGetEmbeddedCtfStream((root / "program").c_str());
  ASSERT_NE(module, nullptr);
  const rtkCtfStreamPtr moduleStream = *static_cast<rtkCtfStreamPtr*>(module);
  rtkDestroyStream(module);
  moduleStream->seekg(1234);
  const std::pair<const char*, rtkCtfStreamPtr> streams[] = {
      {"memory", streamOver(archiveBytes)},
      {"memory, after other bytes", streamOver(program)},
      {"a module file, after other bytes", moduleStream},
      {"a read callback",
       streamFromCallback(archiveBytes, archiveBytes.size(), CallbackSource::kDeliver)},
      // It is held to what it was asked for.
      {"a read callback that claims more than it was asked for",
       streamFromCallback(archiveBytes, archiveBytes.size(), CallbackSource::kOverstate)},
  };
  for (const auto& [what, stream] : streams) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(stream);
    const std::streampos position = stream->tellg();
    const CtfExtractor extractor = rtkMakeCtfStreamExtractor(stream);
    EXPECT_EQ(stream->tellg(), position);
    EXPECT_EQ(temporaryFiles().size(), 1u);
    expectUnpacks(extractor, std::string("from ") + what);
  }
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(CtfExtractorTest, TheTemporaryCopyIsPrivateAndLastsAsLongAsTheLastExtractorCopy) {
  std::string bytes = archiveBytes;
  rtkCtfStreamPtr stream = streamOver(bytes);
  ASSERT_TRUE(stream);
  auto first = std::make_unique<CtfExtractor>(rtkMakeCtfStreamExtractor(stream));
  const std::vector<stdfs::path> copies = temporaryFiles();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_TRUE(contentsOf(copies[0]) == archiveBytes);
  EXPECT_EQ(stdfs::status(copies[0]).permissions() & stdfs::perms::all,
            stdfs::perms::owner_read | stdfs::perms::owner_write);

  auto second = std::make_unique<CtfExtractor>(*first);
  CtfExtractor last;
  last = *second;
  first.reset();
  second.reset();
  // Unpacking reads the copy: the source bytes may be gone by then.
  stream.reset();
  bytes.assign(bytes.size(), '\0');
  ASSERT_EQ(temporaryFiles().size(), 1u);
  expectUnpacks(last, "unpacked");
  last = CtfExtractor();
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(CtfExtractorTest, UnreadableArchivesAreRefusedWithoutACopyLeft) {
  writeFile(root / "notes.txt", "not an archive");
  void* empty = rtkGetStreamFromArraySrc(nullptr, 10);  // a handle over no bytes holds no stream
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(*static_cast<rtkCtfStreamPtr*>(empty));
  const std::string text = "plain text, no archive";
  const struct {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"a file that is no archive", [&] { rtkMakeCtfFileExtractor((root / "notes.txt").c_str()); }},
      {"a missing file", [&] { rtkMakeCtfFileExtractor((root / "none.ctf").c_str()); }},
      {"a stream of text", [&] { rtkMakeCtfStreamExtractor(streamOver(text)); }},
      {"no stream", [&] { rtkMakeCtfStreamExtractor(*static_cast<rtkCtfStreamPtr*>(empty)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.make();
      ADD_FAILURE() << "nothing was thrown";
    } catch (const DeployedException& error) {
      EXPECT_EQ(error.message().id(), "RTKKVN_ERROR_INITIALIZING_CTF");
    }
    EXPECT_TRUE(temporaryFiles().empty());
  }
  rtkDestroyStream(empty);

  // The archive goes away between reading its identity and unpacking it.
  const CtfExtractor extractor = rtkMakeCtfFileExtractor(archive.c_str());
  stdfs::remove(archive);
  try {
    extractor((root / "target").c_str());
    ADD_FAILURE() << "unpacked a removed archive";
  } catch (const rtkUserException& error) {
    EXPECT_EQ(error.getErrorId(), "RTK:CTFExtractor");
    EXPECT_EQ(error.getMessage().id(), "RTKKVN_CANNOT_FIND_CTF_ARCHIVE");
    EXPECT_EQ(error.getMessage().arguments(), std::vector<std::string>{archive.string()});
  }
  EXPECT_FALSE(stdfs::exists(root / "target"));
  try {
    extractCtfFile((root / "target").string(), (root / "notes.txt").string());
    ADD_FAILURE() << "unpacked a text file";
  } catch (const rtkInternalException& error) {
    EXPECT_EQ(error.getText(),
              "An error occurred while trying to extract a component from a file.");
  }
}

TEST(CtfStreams, CallbackAndMemoryStreamsReadExactlyTheAnnouncedBytes) {
  const std::string bytes = "0123456789";
  const rtkCtfStreamPtr callback =
      streamFromCallback(bytes, bytes.size(), CallbackSource::kDeliver);
  ASSERT_TRUE(callback);
  EXPECT_EQ(readAll(*callback), bytes);
  callback->clear();
  EXPECT_EQ(callback->seekg(0, std::ios::end).tellg(), std::streampos(bytes.size()));
  // Fewer bytes than the source holds: exactly those.
  EXPECT_EQ(readAll(*streamFromCallback(bytes, 4, CallbackSource::kDeliver)), "0123");

  // A memory stream reads the caller's bytes where they are.
  char memory[] = {'a', 'b', 'c', 'd'};
  const rtkCtfStreamPtr stream = rtkGetCtfStreamFromArraySrc(memory, 3);
  ASSERT_TRUE(stream);
  memory[1] = 'B';
  EXPECT_EQ(readAll(*stream), "aBc");
  stream->clear();
  EXPECT_EQ(stream->seekg(-1, std::ios::end).get(), 'c');
}

TEST(CtfStreams, UnusableSourcesGiveEmptyPointers) {
  const std::string bytes = "0123456789";
  EXPECT_FALSE(streamFromCallback(bytes, 0, CallbackSource::kDeliver));
  EXPECT_EQ(source.calls, 0) << "a callback announcing nothing is not called";
  const std::pair<const char*, rtkCtfStreamPtr> streams[] = {
      {"a callback with fewer bytes than announced",
       streamFromCallback(bytes, bytes.size() + 1, CallbackSource::kDeliver)},
      {"a callback throwing a standard exception",
       streamFromCallback(bytes, bytes.size(), CallbackSource::kThrowStd)},
      {"a callback throwing something else",
       streamFromCallback(bytes, bytes.size(), CallbackSource::kThrowOther)},
      {"no callback", rtkGetCtfStreamFromCallBack(nullptr, 4)},
      {"no memory", rtkGetCtfStreamFromArraySrc(nullptr, 4)},
      {"no bytes of memory", rtkGetCtfStreamFromArraySrc(bytes.data(), 0)},
      {"a negative count", rtkGetCtfStreamFromArraySrc(bytes.data(), -4)},
  };
  for (const auto& [what, stream] : streams) EXPECT_FALSE(stream) << what;
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
  EXPECT_TRUE(executable == contentsOf(stdfs::read_symlink("/proc/self/exe")));

  EXPECT_EQ(rtkGetEmbeddedCtfStream("/no/such/module"), nullptr);
  EXPECT_EQ(rtkGetEmbeddedCtfStream(stdfs::temp_directory_path().c_str()), nullptr);
}

}  // namespace
