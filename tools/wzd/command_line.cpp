#include "command_line.hpp"

#include <functional>
#include <new>
#include <optional>
#include <sstream>

#include "cache_command.hpp"
#include "ctf/opc_exception.hpp"
#include "errors.hpp"
#include "examine.hpp"
#include "pack.hpp"

namespace wzd {

namespace {

constexpr char kMainUsage[] = "usage: wzd pack|inspect|verify|cache ARGUMENTS (wzd --help)";

constexpr char kMainHelp[] = R"(usage: wzd COMMAND ARGUMENTS

Packs a folder of Q-code into a component archive, and reads archives back.

commands:
  pack SOURCE_DIR -o OUTPUT.ctf [options]   pack a component
  inspect ARCHIVE                           print an archive's settings and entries
  verify ARCHIVE                            check that an archive is a usable component
  cache path|list|verify|clear [ID...]      look after the component cache of the current user

'wzd COMMAND --help' describes a command.
Exit status: 0 done, 1 a problem with an input file or a cached component, 2 bad arguments.
)";

constexpr char kPackUsage[] = "usage: wzd pack SOURCE_DIR -o OUTPUT.ctf [options]";

constexpr char kPackHelp[] = R"(usage: wzd pack SOURCE_DIR -o OUTPUT.ctf [options]

Packs every file and folder below SOURCE_DIR into the component archive OUTPUT.ctf and prints
the component identifier. Every .q file must parse, and every public function and the main
function must be a function file on the component's search path; otherwise nothing is written.
The same inputs give the same archive, byte for byte.

options (* may be given more than once; --opt VALUE and --opt=VALUE both work):
  -o, --output FILE           the archive to write (required; not inside what is packed)
  --name NAME                 component name (default: the name of SOURCE_DIR)
  --id ID                     identifier NAME_<32 hex digits> (default: made from a hash of
                              everything packed)
  --main FUNCTION             main function of a standalone application
  --output-name NAME *        output names of the main function
  --public FUNCTION *         public function (default: every function file at the top of
                              SOURCE_DIR)
  --search-path DIR *         search-path folder: relative to SOURCE_DIR, absolute, or starting
                              with a path macro such as $TOOLBOXPREFIX (the component folder
                              itself always comes first)
  --path-entry DIR *          folder added to PATH, in the same forms
  --java-class-path ENTRY *   Java class path entry, in the same forms
  --runtime-option OPTION *   option the runtime of a standalone application starts with
  --warning on:ID|off:ID *    warning state set when an instance starts
  --start-text TEXT           text a standalone application prints before running main
  --add FILE_OR_DIR *         file or folder packed into the component folder under its name
  --preferences DIR           shipped preferences, packed as .sorvel/ (default: none)
  -h, --help                  this text
)";

constexpr char kInspectUsage[] = "usage: wzd inspect ARCHIVE";

constexpr char kInspectHelp[] = R"(usage: wzd inspect ARCHIVE

Prints where the archive lies in ARCHIVE (an archive file, or an executable with an archive
appended), its settings manifest and its entries: type, mode, size and name.
Exits with 1 when ARCHIVE holds no readable archive or its manifest is not valid.
)";

constexpr char kVerifyUsage[] = "usage: wzd verify ARCHIVE";

constexpr char kVerifyHelp[] = R"(usage: wzd verify ARCHIVE

Checks that ARCHIVE is a usable component: a valid manifest; entries laid out as the manifest,
.sorvel/ and the component folder, with links that stay inside; every .q file parses; relative
search-path, PATH and class-path entries exist in the component; every public function and the
main function are function files on the component's search path. Prints one line when all is
well; exits with 1 and the reason otherwise. Warns when a half of the identifier's hexadecimal
part starts with 0.
)";

constexpr char kCacheUsage[] = "usage: wzd cache path|list|verify|clear [--root DIR] [ID...]";

constexpr char kCacheHelp[] = R"(usage: wzd cache ACTION [--root DIR] [ID...]

Looks after the component cache of the current user: the folder kvnCache8.1 in the cache root,
which is $KVN_CACHE_ROOT when set, else $TMPDIR/$USER (/tmp/$USER without TMPDIR), the folder
programs unpack their components into.

actions:
  path             print the cache folder (a note follows when it does not exist yet)
  list             one line per component, most recently used first: identifier, folder, size
                   in bytes, last use (UTC) and state: ok, in use (a running program holds
                   it), damaged (the quick check a start makes fails), unfinished (its unpack
                   never ended) or no folder (an index entry without one)
  verify [ID...]   hash every file of every component, or of those named, and compare it with
                   what was unpacked; prints each damaged component and what is wrong
  clear [ID...]    remove every component, or those named; one a running program holds is
                   left, with a message

options:
  --root DIR       the cache in DIR/kvnCache8.1 instead
  -h, --help       this text

The cache is read and changed under the runtime's own lock and checks; a program starting a
component meanwhile waits for wzd. A cache that does not exist yet is not created.
Exit status: 0 done; 1 a damaged component (verify), one not removed (clear), an unknown ID or
a cache that cannot be used; 2 bad arguments.
)";

struct Command {
  const char* usage;
  const char* help;
};

// Arguments that do not fit the command's usage line, which follows the message.
class BadArguments : public UsageError {
 public:
  BadArguments(const std::string& message, const Command& command)
      : UsageError(message), usage(command.usage) {}
  const char* usage;
};

bool isHelp(const std::string& argument) { return argument == "-h" || argument == "--help"; }

// Help anywhere before "--" wins over everything else on the line.
bool asksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    if (isHelp(argument)) return true;
  }
  return false;
}

// Reads a command line of options and positional arguments, which it returns. Every option
// takes a value: "--option VALUE", "--option=VALUE", or "-xVALUE" for a one-letter option; "--"
// ends the options, and "-" alone is positional. store(option, value) is called with the option
// as named and a function that takes its value (raising "needs a value" when there is none), so
// that store can refuse a repeated option before asking for the value; it returns false for an
// option the command does not know.
using TakeValue = std::function<std::string()>;
using OptionStore = std::function<bool(const std::string& option, const TakeValue& value)>;

std::vector<std::string> parseOptions(const std::vector<std::string>& arguments,
                                      const Command& command, const OptionStore& store) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      positional.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::string option = argument;
    std::optional<std::string> attached;
    const bool longOption = argument.compare(0, 2, "--") == 0;
    if (longOption && argument.find('=') != std::string::npos) {
      option = argument.substr(0, argument.find('='));
      attached = argument.substr(argument.find('=') + 1);
    } else if (!longOption && argument.size() > 2) {
      option = argument.substr(0, 2);
      attached = argument.substr(2);
    }
    const auto value = [&]() {
      if (attached) return *attached;
      if (i + 1 >= arguments.size()) throw BadArguments(option + " needs a value", command);
      return arguments[++i];
    };
    if (!store(option, value)) {
      // "-xyz" that is no known "-x" is named whole.
      throw BadArguments("unknown option " + (longOption ? option : argument), command);
    }
  }
  return positional;
}

// One option of wzd pack: where its value goes.
struct PackOption {
  const char* name;
  std::optional<std::string> PackRequest::*single;
  std::vector<std::string> PackRequest::*list;
};

const PackOption kPackOptions[] = {
    {"--name", &PackRequest::name, nullptr},
    {"--id", &PackRequest::identifier, nullptr},
    {"--main", &PackRequest::mainFunction, nullptr},
    {"--start-text", &PackRequest::startText, nullptr},
    {"--preferences", &PackRequest::preferences, nullptr},
    {"--output-name", nullptr, &PackRequest::outputNames},
    {"--public", nullptr, &PackRequest::publicFunctions},
    {"--search-path", nullptr, &PackRequest::searchPath},
    {"--path-entry", nullptr, &PackRequest::pathEntries},
    {"--java-class-path", nullptr, &PackRequest::javaClassPath},
    {"--runtime-option", nullptr, &PackRequest::runtimeOptions},
    {"--warning", nullptr, &PackRequest::warningStates},
    {"--add", nullptr, &PackRequest::extraSources},
};

PackRequest parsePack(const std::vector<std::string>& arguments) {
  const Command command{kPackUsage, kPackHelp};
  PackRequest request;
  std::optional<std::string> output;
  const auto store = [&](const std::string& option, const TakeValue& value) {
    if (option == "-o" || option == "--output") {
      if (output) throw BadArguments(option + " given twice", command);
      output = value();
      return true;
    }
    for (const PackOption& known : kPackOptions) {
      if (option != known.name) continue;
      if (known.list) {
        (request.*(known.list)).push_back(value());
      } else {
        std::optional<std::string>& single = request.*(known.single);
        if (single) throw BadArguments(option + " given twice", command);
        single = value();
      }
      return true;
    }
    return false;
  };
  const std::vector<std::string> positional = parseOptions(arguments, command, store);
  if (positional.empty()) throw BadArguments("SOURCE_DIR is missing", command);
  if (positional.size() > 1) throw BadArguments("unexpected argument " + positional[1], command);
  if (!output) throw BadArguments("-o OUTPUT.ctf is missing", command);
  request.sourceFolder = positional[0];
  request.output = *output;
  return request;
}

// The one argument of inspect and verify, which take no options.
std::string parseArchiveArgument(const std::vector<std::string>& arguments,
                                 const Command& command) {
  const auto noOptions = [](const std::string&, const TakeValue&) { return false; };
  const std::vector<std::string> positional = parseOptions(arguments, command, noOptions);
  if (positional.empty()) throw BadArguments("ARCHIVE is missing", command);
  if (positional.size() > 1) throw BadArguments("unexpected argument " + positional[1], command);
  return positional[0];
}

CacheRequest parseCache(const std::vector<std::string>& arguments) {
  const Command command{kCacheUsage, kCacheHelp};
  CacheRequest request;
  const auto store = [&](const std::string& option, const TakeValue& value) {
    if (option != "--root") return false;
    if (request.root) throw BadArguments("--root given twice", command);
    request.root = value();
    if (request.root->find_first_not_of(" \t\r\n") == std::string::npos) {
      throw BadArguments("--root needs a folder", command);
    }
    return true;
  };
  const std::vector<std::string> positional = parseOptions(arguments, command, store);
  if (positional.empty()) throw BadArguments("ACTION is missing", command);
  const std::string& action = positional[0];
  request.identifiers.assign(positional.begin() + 1, positional.end());
  if (action == "path" || action == "list") {
    if (!request.identifiers.empty()) {
      throw BadArguments("unexpected argument " + request.identifiers[0], command);
    }
    request.action = action == "path" ? CacheAction::Path : CacheAction::List;
  } else if (action == "verify" || action == "clear") {
    request.action = action == "verify" ? CacheAction::Verify : CacheAction::Clear;
  } else {
    throw BadArguments("unknown action " + action, command);
  }
  return request;
}

// Every line of text, prefixed "wzd: ".
void report(std::ostream& err, const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) err << "wzd: " << line << "\n";
}

}  // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const Command mainCommand{kMainUsage, kMainHelp};
  try {
    if (arguments.empty()) throw BadArguments("no command given", mainCommand);
    const std::string& name = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    struct Subcommand {
      const char* name;
      Command command;
      std::function<void(const std::vector<std::string>&)> run;
    };
    const Subcommand subcommands[] = {
        {"pack",
         {kPackUsage, kPackHelp},
         [&](const std::vector<std::string>& args) { out << pack(parsePack(args), err) << "\n"; }},
        {"inspect",
         {kInspectUsage, kInspectHelp},
         [&](const std::vector<std::string>& args) {
           inspect(parseArchiveArgument(args, {kInspectUsage, kInspectHelp}), out);
         }},
        {"verify",
         {kVerifyUsage, kVerifyHelp},
         [&](const std::vector<std::string>& args) {
           verify(parseArchiveArgument(args, {kVerifyUsage, kVerifyHelp}), out, err);
         }},
        {"cache",
         {kCacheUsage, kCacheHelp},
         [&](const std::vector<std::string>& args) { runCache(parseCache(args), out, err); }},
    };
    if (isHelp(name)) {
      out << kMainHelp;
      return kExitDone;
    }
    for (const Subcommand& subcommand : subcommands) {
      if (name != subcommand.name) continue;
      if (asksForHelp(rest)) {
        out << subcommand.command.help;
        return kExitDone;
      }
      subcommand.run(rest);
      return kExitDone;
    }
    throw BadArguments("unknown command " + name, mainCommand);
  } catch (const BadArguments& error) {
    report(err, error.what());
    err << error.usage << "\n";
    return kExitBadArguments;
  } catch (const UsageError& error) {
    // Raised by pack itself, once the arguments were read.
    report(err, error.what());
    err << kPackUsage << "\n";
    return kExitBadArguments;
  } catch (const InputError& error) {
    report(err, error.what());
    return kExitInputProblem;
  } catch (const opc::Exception& error) {
    report(err, error.what());
    return kExitInputProblem;
  } catch (const std::bad_alloc&) {
    report(err, "out of memory");
    return kExitInputProblem;
  } catch (const std::exception& error) {
    report(err, error.what());
    return kExitInputProblem;
  }
}

}  // namespace wzd
