// wzd: the packer run as a program on real folders, and the pieces it is made of (link
// resolution, content identifiers). The archives it writes are read back with the runtime's own
// reader.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "component_identifier.hpp"
#include "component_tree.hpp"
#include "ctf/ctf_archive.hpp"
#include "ctf/ctf_package.hpp"
#include "ctf/opc_exception.hpp"
#include "util/test_files.hpp"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;
using Ostrand::ctfdata::CTFFileReaderFactory;
using Ostrand::ctfpack::CTFOpenRead;
using Ostrand::ctfpack::CTFPackage;
using Ostrand::ctfpack::CTFSettings;
using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// How the program is started besides its arguments.
struct Start {
  stdfs::path folder = stdfs::current_path();
  mode_t umask = 022;
  std::vector<std::string> environment;  // NAME=VALUE, added to (or replacing) ours
};

class Wzd : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() /
            ("wzd_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    stdfs::remove_all(root_);
    stdfs::create_directories(root_);
  }
  void TearDown() override { stdfs::remove_all(root_); }

  // Runs the wzd program; the environment, folder and umask are set in the child only.
  Outcome wzd(const std::vector<std::string>& arguments, const Start& start = Start()) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) {
      const std::string text(*variable);
      bool replaced = false;
      for (const std::string& wanted : start.environment) {
        replaced |= text.compare(0, wanted.find('=') + 1, wanted, 0, wanted.find('=') + 1) == 0;
      }
      if (!replaced) environment.push_back(text);
    }
    environment.insert(environment.end(), start.environment.begin(), start.environment.end());
    std::vector<char*> argv = {const_cast<char*>(WZD_PROGRAM)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const stdfs::path outFile = root_ / "stdout.txt";
    const stdfs::path errFile = root_ / "stderr.txt";
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::umask(start.umask);
      if (::chdir(start.folder.c_str()) != 0) ::_exit(120);
      ::execve(WZD_PROGRAM, argv.data(), envp.data());
      ::_exit(121);
    }
    ::close(out);
    ::close(err);
    int status = 0;
    ::waitpid(child, &status, 0);
    Outcome run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = contentsOf(outFile);
    run.err = contentsOf(errFile);
    stdfs::remove(outFile);
    stdfs::remove(errFile);
    return run;
  }

  // A component: two public function files, a script, a private function, a helper folder on
  // the search path, an executable and an empty folder.
  stdfs::path makeSource(const std::string& name = "calc") {
    const stdfs::path source = root_ / name;
    writeFile(source / "add.q", "function s = add(a, b)\n% adds\ns = a + b;\n");
    writeFile(source / "twice.q", "function y = twice(x)\ny = helper(x) * 2;\nend\n");
    writeFile(source / "setup.q", "x = 1;\ndisp(x)\n");
    writeFile(source / "private" / "secret.q", "function s = secret()\ns = 42;\n");
    writeFile(source / "lib" / "helper.q", "function y = helper(x)\ny = x;\n");
    writeFile(source / "bin" / "tool.sh", "#!/bin/sh\necho tool\n");
    stdfs::permissions(source / "bin" / "tool.sh", stdfs::perms::owner_all);
    stdfs::create_directories(source / "empty");
    return source;
  }

  // Packs with -o in its attached form (-oFILE); the identifier printed.
  std::string packed(const stdfs::path& source, const stdfs::path& archive,
                     std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"pack", source.string(), "-o" + archive.string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const Outcome run = wzd(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out.empty() ? run.out : run.out.substr(0, run.out.size() - 1);
  }

  CTFSettings settingsOf(const stdfs::path& archive) {
    CTFPackage package(archive.wstring(), CTFFileReaderFactory());
    package.open(CTFOpenRead);
    return package.getCTFSettings();
  }

  stdfs::path root_;
};

// Sets the modification time of everything below folder, folder included.
void touchAll(const stdfs::path& folder, stdfs::file_time_type when) {
  for (const auto& entry : stdfs::recursive_directory_iterator(folder)) {
    stdfs::last_write_time(entry.path(), when);
  }
  stdfs::last_write_time(folder, when);
}

TEST_F(Wzd, SameInputsGiveTheSameBytesWhateverTheTimesUmaskFolderAndTimeZone) {
  const stdfs::path source = makeSource();
  const std::string first = packed(source, root_ / "first.ctf");

  touchAll(source, stdfs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  stdfs::permissions(source / "add.q", stdfs::perms::owner_read | stdfs::perms::owner_write);
  // A relative source from another folder, a tight umask, time zones 26 hours apart.
  const std::vector<Start> starts = {
      {root_, 077, {"TZ=ABC-14"}},
      {source / "lib", 0, {"TZ=XYZ+12"}},
  };
  int index = 0;
  for (const Start& start : starts) {
    const stdfs::path archive = root_ / ("again" + std::to_string(index++) + ".ctf");
    const std::string sourceArgument = stdfs::relative(source, start.folder).string();
    const Outcome run = wzd({"pack", sourceArgument, "-o", archive.string()}, start);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, first + "\n");
    EXPECT_EQ(contentsOf(archive), contentsOf(root_ / "first.ctf"))
        << "TZ " << start.environment[0];
  }

  // One changed byte gives another identifier.
  writeFile(source / "lib" / "helper.q", "function y = helper(x)\ny = -x;\n");
  const std::string changed = packed(source, root_ / "changed.ctf");
  EXPECT_NE(changed, first);
  EXPECT_EQ(changed.substr(0, 5), "calc_");
}

TEST_F(Wzd, SyntaxErrorsStopThePackNamingFileAndLine) {
  const stdfs::path source = makeSource();
  writeFile(source / "private" / "broken.q", "function b = broken()\n\nb = (1 + ;\n");
  writeFile(source / "lib" / "bad.q", "x = 1 +* 2;\n");
  const stdfs::path output = root_ / "out" / "calc.ctf";
  stdfs::create_directories(output.parent_path());

  const Outcome run = wzd({"pack", source.string(), "-o", output.string()});
  EXPECT_EQ(run.status, 1);
  // Every broken file is named, with the line.
  EXPECT_NE(run.err.find("wzd: " + (source / "private" / "broken.q").string() + ":3: "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find((source / "lib" / "bad.q").string() + ":1: "), std::string::npos)
      << run.err;
  EXPECT_TRUE(stdfs::is_empty(output.parent_path())) << "nothing may be left behind";
}

TEST_F(Wzd, InspectFindsTheArchiveAppendedToAnExecutable) {
  const std::string identifier = packed(makeSource(), root_ / "calc.ctf");
  const stdfs::path program = root_ / "launcher";
  writeFile(program, contentsOf("/bin/true") + contentsOf(root_ / "calc.ctf"));
  stdfs::permissions(program, stdfs::perms::owner_all);
  ASSERT_EQ(std::system(program.c_str()), 0) << "still a working executable";

  const Outcome run = wzd({"inspect", program.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("appended to " + std::to_string(stdfs::file_size("/bin/true"))),
            std::string::npos)
      << run.out;
  for (const std::string& entry :
       {std::string("ctfsettings.json"), std::string(".sorvel/"), identifier + "/add.q",
        identifier + "/private/secret.q", identifier + "/empty/"}) {
    EXPECT_NE(run.out.find("  " + entry + "\n"), std::string::npos) << entry << "\n" << run.out;
  }
  EXPECT_NE(run.out.find("\"componentId\": \"" + identifier + "\""), std::string::npos);
  EXPECT_EQ(wzd({"verify", program.string()}).status, 0);
}

TEST_F(Wzd, TheRuntimeReadsBackEverythingPacked) {
  const stdfs::path source = makeSource();
  writeFile(source / "lib" / "rechner.jar", "jar");
  writeFile(root_ / "extra" / "data.txt", "payload");
  writeFile(root_ / "notes.txt", "notes");
  writeFile(root_ / "prefs" / "startup.q", "% shipped preferences\n");
  const stdfs::path archive = root_ / "calc.ctf";
  const std::pair<const char*, std::string> given[] = {
      {"--name", "rechner"},
      {"--main", "twice"},
      {"--output-name", "y"},
      {"--public", "add"},
      {"--public", "twice"},
      {"--search-path", "lib"},
      {"--search-path", "$TOOLBOXPREFIX/stats"},
      {"--java-class-path", "lib/rechner.jar"},
      {"--java-class-path", "/opt/java/x.jar"},
      {"--runtime-option", "-nojvm"},
      {"--warning", "off:Q:divideByZero"},
      {"--start-text", "starting"},
      {"--add", (root_ / "extra").string() + "/"},
      {"--add", (root_ / "notes.txt").string()},
      {"--preferences", (root_ / "prefs").string()}};
  std::vector<std::string> options = {"--path-entry=bin"};
  for (const auto& [option, value] : given) options.insert(options.end(), {option, value});
  const std::string identifier = packed(source, archive, options);

  ASSERT_EQ(identifier.size(), std::string("rechner_").size() + 32) << identifier;
  const std::wstring id(identifier.begin(), identifier.end());
  CTFSettings expected;
  expected.componentId = id;
  expected.componentName = L"rechner";
  expected.mainFunction = L"twice";
  expected.startText = L"starting";
  expected.searchPath = {id, id + L"/lib", L"$TOOLBOXPREFIX/stats"};
  expected.javaClassPath = {id + L"/lib/rechner.jar", L"/opt/java/x.jar"};
  expected.pathEntries = {id + L"/bin"};
  expected.publicFunctions = {{L"add"}, {L"twice"}};
  expected.warningStates = {L"off:Q:divideByZero"};
  expected.runtimeOptions = {L"-nojvm"};
  expected.outputNames = {L"y"};
  EXPECT_EQ(settingsOf(archive), expected);

  const stdfs::path unpacked = root_ / "unpacked";
  Ostrand::ctfpack::extractArchive(archive.string(), unpacked.string());
  EXPECT_EQ(CTFPackage::getCTFSettingsFromExtractedCTFLocation(unpacked.wstring()), expected);
  const stdfs::path files = unpacked / identifier;
  EXPECT_EQ(contentsOf(files / "private" / "secret.q"),
            contentsOf(source / "private" / "secret.q"));
  EXPECT_EQ(contentsOf(files / "extra" / "data.txt"), "payload");
  EXPECT_EQ(contentsOf(files / "notes.txt"), "notes");
  EXPECT_EQ(contentsOf(unpacked / ".sorvel" / "startup.q"), "% shipped preferences\n");
  EXPECT_TRUE(stdfs::is_directory(files / "empty"));
  EXPECT_NE(stdfs::status(files / "bin" / "tool.sh").permissions() & stdfs::perms::owner_exec,
            stdfs::perms::none);
}

TEST_F(Wzd, DefaultPublicFunctionsAreTheFunctionFilesAtTheTop) {
  const stdfs::path source = makeSource();
  writeFile(source / "my-tool.q", "function my_tool()\n");  // not a callable name
  const Outcome run = wzd({"pack", source.string(), "-o", (root_ / "calc.ctf").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("my-tool.q is not made public"), std::string::npos) << run.err;
  const CTFSettings settings = settingsOf(root_ / "calc.ctf");
  EXPECT_EQ(settings.publicFunctions,
            (std::vector<Ostrand::ctfpack::CTFPublicFunction>{{L"add"}, {L"twice"}}));
  EXPECT_EQ(settings.searchPath, std::vector<std::wstring>{settings.componentId});
  EXPECT_EQ(settings.componentName, L"calc");

  // A source folder reached through a link is named after the link and packed as a folder.
  stdfs::create_directory_symlink(source, root_ / "linked");
  const Outcome linked =
      wzd({"pack", (root_ / "linked").string(), "-o", (root_ / "linked.ctf").string()});
  ASSERT_EQ(linked.status, 0) << linked.err;
  EXPECT_EQ(settingsOf(root_ / "linked.ctf").componentName, L"linked");
  const Outcome verified = wzd({"verify", (root_ / "linked.ctf").string()});
  EXPECT_EQ(verified.status, 0) << verified.err;
}

TEST_F(Wzd, VerifyPassesAGoodArchiveAndNamesWhatIsWrongWithABadOne) {
  const stdfs::path source = makeSource();
  ASSERT_FALSE(
      packed(source, root_ / "good.ctf", {"--search-path", "lib", "--main", "helper"}).empty());
  const Outcome good = wzd({"verify", (root_ / "good.ctf").string()});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.err, "");

  // Archives a careless packer could write, each with one fault.
  struct Case {
    const char* what;
    std::vector<std::wstring> publicFunctions;
    std::wstring mainFunction;
    std::vector<std::wstring> searchPath;  // after the component folder
    const char* brokenFile;                // added to the component folder, unless null
    const char* expected;
  } cases[] = {
      {"missing public function",
       {L"add", L"missing"},
       L"",
       {},
       nullptr,
       "public function missing"},
      {"private function", {L"secret"}, L"", {}, nullptr, "public function secret"},
      {"script as main", {}, L"setup", {}, nullptr, "setup.q is a script"},
      {"function off the search path", {L"helper"}, L"", {}, nullptr, "function helper"},
      {"missing search-path folder", {}, L"", {L"/nolib"}, nullptr, "nolib"},
      {"syntax error", {L"add"}, L"", {}, "private/broken.q", "private/broken.q:2: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring id = L"calc_1123456789abcdef1123456789abcdef";
    CTFSettings settings;
    settings.componentId = id;
    settings.componentName = L"calc";
    settings.mainFunction = c.mainFunction;
    settings.searchPath = {id};
    for (const std::wstring& entry : c.searchPath) settings.searchPath.push_back(id + entry);
    for (const std::wstring& function : c.publicFunctions)
      settings.publicFunctions.push_back({function});
    stdfs::remove(source / "private" / "broken.q");
    if (c.brokenFile) writeFile(source / c.brokenFile, "function b()\nb = ]\n");
    const stdfs::path archive = root_ / "bad.ctf";
    Ostrand::ctfpack::writeArchive(archive.string(), settings, source.string(), "");
    const Outcome run = wzd({"verify", archive.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.rfind("wzd: ", 0), 0u) << run.err;
  }
  stdfs::remove(source / "private" / "broken.q");

  // An identifier the cache cannot read back is usable, with a warning.
  const stdfs::path zero = root_ / "zero.ctf";
  packed(source, zero, {"--id", "calc_0123456789abcdef1123456789abcdef"});
  const Outcome warned = wzd({"verify", zero.string()});
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_NE(warned.err.find("wzd: warning: "), std::string::npos);
}

TEST_F(Wzd, ExitStatusSaysWhoIsToBlame) {
  const stdfs::path source = makeSource();
  const std::string archive = (root_ / "calc.ctf").string();
  const struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string expected;  // in stdout for status 0, in stderr otherwise
  } cases[] = {
      {{"--help"}, 0, "usage: wzd COMMAND"},
      {{"pack", "--help"}, 0, "--search-path DIR"},
      {{"inspect", "-h"}, 0, "usage: wzd inspect ARCHIVE"},
      {{"verify", "x", "--help"}, 0, "usage: wzd verify ARCHIVE"},
      {{"cache", "list", "-h"}, 0, "usage: wzd cache ACTION"},
      {{}, 2, "usage: wzd"},
      {{"unpack", archive}, 2, "unknown command unpack"},
      {{"pack", source.string()}, 2, "-o OUTPUT.ctf is missing"},
      {{"pack", source.string(), "-o", archive, "--frobnicate"}, 2, "unknown option --frobnicate"},
      {{"pack", source.string(), "-o", archive, "--name", "a", "--name", "b"}, 2, "given twice"},
      {{"pack", source.string(), "--output=" + archive, "-o" + archive}, 2, "-o given twice"},
      {{"pack", source.string(), "-o"}, 2, "-o needs a value"},
      {{"pack", source.string(), "-x" + archive}, 2, "unknown option -x" + archive},
      {{"pack", source.string(), "-o", archive, "--warning", "maybe:x"}, 2, "--warning maybe:x"},
      {{"pack", source.string(), "-o", archive, "--id", "calc_123"}, 2, "--id"},
      {{"pack", source.string(), "-o", archive, "--search-path", "../up"}, 2, "leaves"},
      {{"pack", source.string(), "-o", (source / "lib" / "x.ctf").string()}, 2, "lies inside"},
      {{"inspect"}, 2, "usage: wzd inspect ARCHIVE"},
      {{"cache"}, 2, "ACTION is missing"},
      {{"cache", "list", "x_1"}, 2, "unexpected argument x_1"},
      {{"cache", "prune"}, 2, "unknown action prune"},
      {{"cache", "path", "--root="}, 2, "--root needs a folder"},
      {{"cache", "path", "--root", "a", "--root=b"}, 2, "--root given twice"},
      {{"cache", "path", "--root"}, 2, "--root needs a value"},
      {{"cache", "--frobnicate=1", "path"}, 2, "unknown option --frobnicate"},
      {{"verify", "-x", archive}, 2, "unknown option -x"},
      {{"pack", (root_ / "nothing").string(), "-o", archive}, 1, "nothing: not a folder"},
      {{"pack", source.string(), "-o", archive, "--public", "absent"}, 1, "function absent"},
      {{"pack", source.string(), "-o", archive, "--search-path", "nolib"}, 1, "nolib"},
      {{"inspect", "/bin/true"}, 1, "/bin/true"},
      {{"verify", (root_ / "none.ctf").string()}, 1, "none.ctf"},
      {{"verify", "--", "-none.ctf"}, 1, "-none.ctf"},  // after "--" an argument is no option
      {{"cache", "clear", "--root", root_.string(), "x_1"}, 1, "no component x_1"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    const Outcome run = wzd(c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.expected), std::string::npos)
        << run.out << run.err;
  }
  EXPECT_FALSE(stdfs::exists(archive));
  // A link that leads out of the component is refused; without it the pack succeeds.
  stdfs::create_symlink("../elsewhere.q", source / "link.q");
  const Outcome link = wzd({"pack", source.string(), "-o", archive});
  EXPECT_EQ(link.status, 1);
  EXPECT_NE(link.err.find("link.q: the link"), std::string::npos) << link.err;
  stdfs::remove(source / "link.q");
  EXPECT_EQ(wzd({"pack", source.string(), "-o", archive}).status, 0);
}

TEST(ComponentTree, LinksResolveInsideTheTreeOnly) {
  wzd::ComponentTree tree;
  const auto add = [&](const std::string& name, wzd::EntryType type, const std::string& link = "") {
    wzd::TreeEntry entry;
    entry.type = type;
    entry.linkTarget = link;
    entry.displayName = name;
    tree.add(name, entry);
  };
  using wzd::EntryType;
  add("lib", EntryType::Folder);
  add("lib/h.q", EntryType::File);
  add("lib/up", EntryType::Link, "..");
  add("alias.q", EntryType::Link, "lib/h.q");
  add("libs", EntryType::Link, "lib");
  add("chain", EntryType::Link, "alias.q");
  add("out", EntryType::Link, "../x");
  add("absolute", EntryType::Link, "/etc/passwd");
  add("loop1", EntryType::Link, "loop2");
  add("loop2", EntryType::Link, "loop1");
  add("dangling", EntryType::Link, "lib/none.q");
  add("through", EntryType::Link, "libs/../lib/h.q");
  const struct {
    const char* name;
    bool resolves;
    const char* resolved;
  } cases[] = {
      {"lib/h.q", true, "lib/h.q"},  {"alias.q", true, "lib/h.q"},
      {"libs/h.q", true, "lib/h.q"}, {"chain", true, "lib/h.q"},
      {"lib/up", true, ""},          {"lib/up/alias.q", true, "lib/h.q"},
      {"through", true, "lib/h.q"},  {"out", false, ""},
      {"absolute", false, ""},       {"loop1", false, ""},
      {"dangling", false, ""},       {"lib/h.q/x", false, ""},
      {"lib/up/../x", false, ""},
  };
  for (const auto& c : cases) {
    std::string resolved = "unchanged";
    EXPECT_EQ(tree.resolve(c.name, resolved), c.resolves) << c.name;
    if (c.resolves) {
      EXPECT_EQ(resolved, c.resolved) << c.name;
    }
  }
  EXPECT_THROW(tree.add("lib", wzd::TreeEntry()), wzd::InputError);
}

TEST(ComponentIdentifier, HalvesNeverStartWithZeroAndFollowTheContent) {
  wzd::ComponentTree empty;
  std::set<std::string> seen;
  for (int variant = 0; variant < 400; ++variant) {
    const std::string manifest = "settings " + std::to_string(variant);
    const std::string identifier = wzd::contentIdentifier("c", empty, empty, manifest);
    ASSERT_EQ(identifier.size(), 34u);
    EXPECT_FALSE(wzd::identifierHalfStartsWithZero(identifier)) << identifier;
    EXPECT_NE(identifier[2], '0');
    EXPECT_NE(identifier[18], '0');
    EXPECT_EQ(identifier, wzd::contentIdentifier("c", empty, empty, manifest));
    seen.insert(identifier);
  }
  EXPECT_EQ(seen.size(), 400u);

  // Entry names and modes count, not only bytes.
  wzd::ComponentTree one;
  wzd::ComponentTree renamed;
  wzd::ComponentTree executable;
  wzd::TreeEntry file;
  file.contents = "x";
  file.size = 1;
  one.add("a.q", file);
  renamed.add("b.q", file);
  file.mode = 0755;
  executable.add("a.q", file);
  const std::string base = wzd::contentIdentifier("c", one, empty, "");
  EXPECT_NE(base, wzd::contentIdentifier("c", renamed, empty, ""));
  EXPECT_NE(base, wzd::contentIdentifier("c", executable, empty, ""));
  EXPECT_NE(base, wzd::contentIdentifier("c", empty, one, ""));  // preferences count apart

  EXPECT_TRUE(wzd::identifierHalfStartsWithZero("c_0123456789abcdef1123456789abcdef"));
  EXPECT_TRUE(wzd::identifierHalfStartsWithZero("c_1123456789abcdef0123456789abcdef"));
  EXPECT_FALSE(wzd::identifierHalfStartsWithZero("c_1023456789abcdef1023456789abcdef"));
}

TEST_F(Wzd, ExtraSourcesMayNotClashWithTheFolder) {
  const stdfs::path source = makeSource();
  writeFile(root_ / "other" / "add.q", "function add()\n");
  CTFSettings settings;
  settings.componentName = L"calc";
  settings.componentId = L"calc_1123456789abcdef1123456789abcdef";
  Ostrand::ctfpack::CTFArchiveWriteOptions options;
  options.extraSources = {{(root_ / "other" / "add.q").string(), "add.q"}};
  const stdfs::path archive = root_ / "clash.ctf";
  EXPECT_THROW(
      Ostrand::ctfpack::writeArchive(archive.string(), settings, source.string(), "", options),
      opc::Exception);
  EXPECT_FALSE(stdfs::exists(archive));
  const Outcome run = wzd({"pack", source.string(), "-o", archive.string(), "--add",
                           (root_ / "other" / "add.q").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("already holds \"add.q\""), std::string::npos) << run.err;
}

}  // namespace
