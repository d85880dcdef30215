// Feeds arbitrary bytes to the Q-code parser, as a file and as a lone expression. A SyntaxError
// is a fine answer; anything else (a crash, a hang, a leak, another exception) is a bug. The tree
// is printed too, so that the printer walks whatever the parser accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/ast_printer.hpp"
#include "engine/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  try {
    q::ast::SourceFile file = q::parseFile(source, "fuzz.q");
    q::ast::PrintOptions options;
    options.slots = true;
    options.endTargets = true;
    (void)q::ast::print(file, options);
  } catch (const q::SyntaxError&) {
  }
  try {
    q::ast::ExpressionPtr expression = q::parseExpression(source, "fuzz.q");
    (void)q::ast::print(*expression);
  } catch (const q::SyntaxError&) {
  }
  return 0;
}
