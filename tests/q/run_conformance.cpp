// Runs the Q-code conformance cases: every file in cases/ holds cases separated by lines that
// start with "%% " (the rest of the line names the case). Each case runs as a script in a fresh
// engine instance whose search path holds lib/ (helper functions) and a scratch folder, with a
// fresh warning context, and its printed output (print and error sinks together, in order) is
// compared with what the case expects:
//
//   x = 1 + 2            % expect: x = 3
//   error('a:b', 'no')   % expect-error: a:b
//
// `% expect: text` lines list the expected output in order; `% expect-error: id` says the case
// must stop with an error of that identifier (output before the error is still compared; no
// identifier after the colon means an error without one).
// Output is compared line by line after trimming blanks at both ends, collapsing runs of blanks,
// dropping empty lines, and joining a line "name =" with the line after it, so that the display
// of x = 3 reads "x = 3".
//
// Usage: q_conformance TESTS_Q_FOLDER [filter]. Prints each failure and a closing
// "N passed, M failed" line; exits non-zero when a case fails.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/instance.hpp"
#include "util/sinks.hpp"
#include "util/warnings.hpp"
#include "zy.h"

namespace {

struct Case {
  std::string file;
  std::string name;
  int firstLine = 1;  // line of the case's first line in its file
  std::string text;
  std::vector<std::string> expected;
  bool expectsError = false;
  std::string expectedError;  // may be empty: an error without identifier
};

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string collapse(const std::string& text) {
  std::string result;
  bool blank = false;
  for (char c : trim(text)) {
    if (c == ' ' || c == '\t') {
      if (!blank) result += ' ';
      blank = true;
    } else {
      result += c;
      blank = false;
    }
  }
  return result;
}

std::vector<std::string> normalize(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream stream(output);
  std::string line;
  while (std::getline(stream, line)) {
    line = collapse(line);
    if (!line.empty()) lines.push_back(line);
  }
  std::vector<std::string> joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& current = lines[i];
    if (current.size() >= 2 && current.compare(current.size() - 2, 2, " =") == 0 &&
        current.find(' ') == current.size() - 2 && i + 1 < lines.size()) {
      joined.push_back(current + " " + lines[i + 1]);
      ++i;
    } else {
      joined.push_back(current);
    }
  }
  return joined;
}

// The expectation comments of one line.
void readExpectations(const std::string& line, Case& testCase) {
  static const std::string expect = "% expect: ";
  static const std::string expectError = "% expect-error:";
  std::size_t at = line.find(expectError);
  if (at != std::string::npos) {
    testCase.expectsError = true;
    testCase.expectedError = trim(line.substr(at + expectError.size()));
    return;
  }
  at = line.find(expect);
  if (at != std::string::npos)
    testCase.expected.push_back(collapse(line.substr(at + expect.size())));
}

std::vector<Case> readCases(const std::string& path, const std::string& fileName) {
  std::ifstream stream(path);
  std::vector<Case> cases;
  std::string line;
  int number = 0;
  Case* current = nullptr;
  while (std::getline(stream, line)) {
    ++number;
    if (line.rfind("%% ", 0) == 0) {
      cases.emplace_back();
      current = &cases.back();
      current->file = fileName;
      current->name = trim(line.substr(3));
      current->firstLine = number + 1;
      continue;
    }
    if (!current) continue;
    current->text += line + "\n";
    readExpectations(line, *current);
  }
  return cases;
}

struct Capture {
  std::string text;
};

class CaptureSink : public CmdWinSink {
 public:
  explicit CaptureSink(std::shared_ptr<Capture> capture) : capture_(std::move(capture)) {}
  void write(const char* text, size_t length) override { capture_->text.append(text, length); }

 private:
  std::shared_ptr<Capture> capture_;
};

bool runCase(const Case& testCase, const std::string& libFolder, const std::string& scratch,
             int index, std::string& report) {
  // The script keeps the case's line numbers: blank lines stand for the lines before it.
  const std::string scriptName = "case_" + std::to_string(index);
  {
    std::ofstream script(scratch + "/" + scriptName + ".q");
    for (int i = 1; i < testCase.firstLine; ++i) script << "\n";
    script << testCase.text;
  }
  utWarningManager* warnings = utInstallWarningManager();
  auto capture = std::make_shared<Capture>();
  boost::shared_ptr<CmdWinSink> sink(new CaptureSink(capture));
  kvnOptions options;
  options.set_print_handler(sink);
  options.set_error_handler(sink);
  options.set_kvn_path({libFolder, scratch});
  kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);
  const bool succeeded = instance->CallSorvelFunction(scriptName.c_str(), 0, nullptr, 0, nullptr);
  const kvnErrorState error = instance->GetErrorState();
  kvnInstance::PopActivation(instance);
  kvnInstance::Detach(instance);
  utRemoveWarningManager(warnings);
  std::remove((scratch + "/" + scriptName + ".q").c_str());

  std::ostringstream problems;
  if (succeeded && testCase.expectsError) {
    problems << "  expected the error " << testCase.expectedError << ", but the case succeeded\n";
  } else if (!succeeded && !testCase.expectsError) {
    problems << "  failed with " << error.identifier << ": " << error.message;
    if (!error.stack.empty()) problems << " (line " << error.stack.front().line << ")";
    problems << "\n";
  } else if (!succeeded && error.identifier != testCase.expectedError) {
    problems << "  expected the error " << testCase.expectedError << ", got " << error.identifier
             << ": " << error.message << "\n";
  }
  const std::vector<std::string> actual = normalize(capture->text);
  if (actual != testCase.expected) {
    problems << "  output differs\n    expected:\n";
    for (const std::string& line : testCase.expected) problems << "      | " << line << "\n";
    problems << "    actual:\n";
    for (const std::string& line : actual) problems << "      | " << line << "\n";
  }
  report = problems.str();
  return report.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: q_conformance TESTS_Q_FOLDER [filter]\n";
    return 2;
  }
  const std::string root = argv[1];
  const std::string filter = argc > 2 ? argv[2] : "";
  char scratchTemplate[] = "/tmp/q_conformance_XXXXXX";
  const char* scratch = mkdtemp(scratchTemplate);
  if (!scratch) {
    std::perror("mkdtemp");
    return 2;
  }
  std::vector<std::string> files;
  if (DIR* folder = opendir((root + "/cases").c_str())) {
    while (dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.size() > 2 && name.compare(name.size() - 2, 2, ".q") == 0) files.push_back(name);
    }
    closedir(folder);
  }
  std::sort(files.begin(), files.end());
  int passed = 0, failed = 0, index = 0;
  for (const std::string& file : files) {
    for (const Case& testCase : readCases(root + "/cases/" + file, file)) {
      const std::string title = file + ": " + testCase.name;
      if (!filter.empty() && title.find(filter) == std::string::npos) continue;
      std::string report;
      if (runCase(testCase, root + "/lib", scratch, index++, report)) {
        ++passed;
      } else {
        ++failed;
        std::cout << "FAIL " << title << " (line " << testCase.firstLine - 1 << ")\n" << report;
      }
    }
  }
  rmdir(scratch);
  std::cout << passed << " passed, " << failed << " failed\n";
  return failed == 0 && passed > 0 ? 0 : 1;
}
