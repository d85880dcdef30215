#include "engine/ast_printer.hpp"

#include <charconv>
#include <cmath>

namespace q::ast {

namespace {

// The printer recurses once per tree level. Cases that need locals of their own live in
// functions kept out of line, so that the recursive frame stays small (trees may be
// kMaxExpressionHeight high).
#if defined(__GNUC__)
#define Q_OUT_OF_LINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define Q_OUT_OF_LINE __declspec(noinline)
#else
#define Q_OUT_OF_LINE
#endif

class Printer {
 public:
  explicit Printer(const PrintOptions& options) : options_(options) {}

  std::string text;

  void expression(const Expression& node) {
    switch (node.kind) {
      case NodeKind::Number:
        number(node.as<Number>());
        return;
      case NodeKind::CharArray:
        charArray(node.as<CharArray>());
        return;
      case NodeKind::Identifier:
        identifier(node.as<Identifier>());
        return;
      case NodeKind::Colon:
        text += ':';
        return;
      case NodeKind::End:
        end(node.as<End>());
        return;
      case NodeKind::Unary: {
        const Unary& unary = node.as<Unary>();
        text += '(';
        text += spelling(unary.op);
        expression(*unary.operand);
        text += ')';
        return;
      }
      case NodeKind::Binary: {
        const Binary& binary = node.as<Binary>();
        text += '(';
        expression(*binary.left);
        text += ' ';
        text += spelling(binary.op);
        text += ' ';
        expression(*binary.right);
        text += ')';
        return;
      }
      case NodeKind::Range: {
        const Range& range = node.as<Range>();
        text += '(';
        expression(*range.start);
        text += ':';
        if (range.step) {
          expression(*range.step);
          text += ':';
        }
        expression(*range.stop);
        text += ')';
        return;
      }
      case NodeKind::Postfix: {
        const Postfix& postfix = node.as<Postfix>();
        text += '(';
        expression(*postfix.operand);
        text += spelling(postfix.op);
        text += ')';
        return;
      }
      case NodeKind::Index: {
        const Index& index = node.as<Index>();
        indexPrefix(index, index.steps.size());
        return;
      }
      case NodeKind::Matrix:
        rows(node.as<Rows>(), '[', ']');
        return;
      case NodeKind::Cell:
        rows(node.as<Rows>(), '{', '}');
        return;
      case NodeKind::AnonymousFunction:
        anonymousHeader(node.as<AnonymousFunction>());
        expression(*node.as<AnonymousFunction>().body);
        return;
      case NodeKind::FunctionHandle:
        text += '@';
        text += node.as<FunctionHandle>().name;
        return;
      default:
        text += '?';
        return;
    }
  }

  void statements(const StatementList& list, int indent) {
    for (const StatementPtr& statement : list) this->statement(*statement, indent);
  }

  void statement(const Statement& node, int indent) {
    line(indent);
    switch (node.kind) {
      case NodeKind::ExpressionStatement: {
        const ExpressionStatement& statement = node.as<ExpressionStatement>();
        expression(*statement.expression);
        if (!statement.display) text += ';';
        break;
      }
      case NodeKind::Assignment: {
        const Assignment& assignment = node.as<Assignment>();
        expression(*assignment.target);
        text += " = ";
        expression(*assignment.value);
        if (!assignment.display) text += ';';
        break;
      }
      case NodeKind::MultipleAssignment: {
        const MultipleAssignment& assignment = node.as<MultipleAssignment>();
        text += '[';
        for (std::size_t i = 0; i < assignment.targets.size(); ++i) {
          if (i) text += ", ";
          if (assignment.targets[i])
            expression(*assignment.targets[i]);
          else
            text += '~';
        }
        text += "] = ";
        expression(*assignment.value);
        if (!assignment.display) text += ';';
        break;
      }
      case NodeKind::If: {
        const If& node_ = node.as<If>();
        for (std::size_t i = 0; i < node_.clauses.size(); ++i) {
          if (i) line(indent);
          text += i ? "elseif " : "if ";
          expression(*node_.clauses[i].condition);
          statements(node_.clauses[i].body, indent + 1);
        }
        if (node_.hasElse) {
          line(indent);
          text += "else";
          statements(node_.elseBody, indent + 1);
        }
        closeBlock(indent);
        break;
      }
      case NodeKind::For: {
        const For& loop = node.as<For>();
        text += "for ";
        expression(*loop.variable);
        text += " = ";
        expression(*loop.values);
        statements(loop.body, indent + 1);
        closeBlock(indent);
        break;
      }
      case NodeKind::While: {
        const While& loop = node.as<While>();
        text += "while ";
        expression(*loop.condition);
        statements(loop.body, indent + 1);
        closeBlock(indent);
        break;
      }
      case NodeKind::Switch: {
        const Switch& choice = node.as<Switch>();
        text += "switch ";
        expression(*choice.subject);
        for (const SwitchCase& switchCase : choice.cases) {
          line(indent + 1);
          text += "case ";
          expression(*switchCase.value);
          statements(switchCase.body, indent + 2);
        }
        if (choice.hasOtherwise) {
          line(indent + 1);
          text += "otherwise";
          statements(choice.otherwise, indent + 2);
        }
        closeBlock(indent);
        break;
      }
      case NodeKind::Try: {
        const Try& attempt = node.as<Try>();
        text += "try";
        statements(attempt.body, indent + 1);
        if (attempt.hasCatch) {
          line(indent);
          text += "catch";
          if (attempt.catchVariable) {
            text += ' ';
            expression(*attempt.catchVariable);
          }
          statements(attempt.catchBody, indent + 1);
        }
        closeBlock(indent);
        break;
      }
      case NodeKind::Break:
        text += "break";
        break;
      case NodeKind::Continue:
        text += "continue";
        break;
      case NodeKind::Return:
        text += "return";
        break;
      case NodeKind::Global:
      case NodeKind::Persistent:
        text += node.kind == NodeKind::Global ? "global" : "persistent";
        for (const auto& name : node.as<Declaration>().names) {
          text += ' ';
          expression(*name);
        }
        break;
      default:
        text += '?';
        break;
    }
  }

  void function(const Function& node) {
    if (node.isScript) {
      statements(node.body, 0);
      return;
    }
    line(0);
    text += "function ";
    std::vector<std::string> outputs = node.outputs;
    if (node.varargout) outputs.emplace_back("varargout");
    if (!outputs.empty()) {
      text += '[';
      list(outputs);
      text += "] = ";
    }
    text += node.name + '(';
    std::vector<std::string> inputs = node.inputs;
    if (node.varargin) inputs.emplace_back("varargin");
    list(inputs);
    text += ')';
    statements(node.body, 1);
    closeBlock(0);
  }

 private:
  // Starts a new line (none before the first) indented by `indent` levels.
  void line(int indent) {
    if (!text.empty()) text += '\n';
    text.append(static_cast<std::size_t>(indent) * 2, ' ');
  }

  void closeBlock(int indent) {
    line(indent);
    text += "end";
  }

  void list(const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i) text += ", ";
      text += names[i];
    }
  }

  Q_OUT_OF_LINE void charArray(const CharArray& node) {
    text += '\'';
    for (char c : node.utf8) {
      if (c == '\'') text += '\'';
      text += c;
    }
    text += '\'';
  }

  Q_OUT_OF_LINE void identifier(const Identifier& node) {
    text += node.name;
    if (options_.slots && node.slot >= 0) text += "#" + std::to_string(node.slot);
  }

  Q_OUT_OF_LINE void anonymousHeader(const AnonymousFunction& node) {
    text += "@(";
    list(node.parameters);
    text += ')';
    if (options_.slots && !node.captures.empty()) {
      text += '[';
      for (std::size_t i = 0; i < node.captures.size(); ++i) {
        if (i) text += ", ";
        text += node.captures[i].name + "#" + std::to_string(node.captures[i].outerSlot);
      }
      text += ']';
    }
    text += ' ';
  }

  Q_OUT_OF_LINE void number(const Number& node) {
    if (std::isinf(node.value)) {
      text += "Inf";
    } else {
      char digits[64];
      auto result = std::to_chars(digits, digits + sizeof digits, node.value);
      text.append(digits, result.ptr);
    }
    if (node.imaginary) text += 'i';
  }

  void arguments(const std::vector<ExpressionPtr>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i) text += ", ";
      expression(*list[i]);
    }
  }

  // The base of index followed by its first `count` steps.
  void indexPrefix(const Index& index, std::size_t count) {
    expression(*index.base);
    for (std::size_t i = 0; i < count; ++i) {
      const IndexStep& step = index.steps[i];
      switch (step.kind) {
        case IndexStep::Kind::Paren:
          text += '(';
          arguments(step.arguments);
          text += ')';
          break;
        case IndexStep::Kind::Brace:
          text += '{';
          arguments(step.arguments);
          text += '}';
          break;
        case IndexStep::Kind::Field:
          text += '.' + step.field;
          break;
        case IndexStep::Kind::DynamicField:
          text += ".(";
          expression(*step.fieldExpression);
          text += ')';
          break;
      }
    }
  }

  Q_OUT_OF_LINE void end(const End& node) {
    text += "end";
    if (!options_.endTargets) return;
    text += '<';
    if (node.target) {
      indexPrefix(*node.target, node.step);
      text += ' ' + std::to_string(node.position + 1) + '/' + std::to_string(node.count);
    } else {
      text += '?';
    }
    text += '>';
  }

  void rows(const Rows& node, char open, char close) {
    text += open;
    for (std::size_t r = 0; r < node.rows.size(); ++r) {
      if (r) text += "; ";
      arguments(node.rows[r]);
    }
    text += close;
  }

  const PrintOptions& options_;
};

}  // namespace

std::string print(const Expression& expression, const PrintOptions& options) {
  Printer printer(options);
  printer.expression(expression);
  return printer.text;
}

std::string print(const Statement& statement, const PrintOptions& options) {
  Printer printer(options);
  printer.statement(statement, 0);
  return printer.text;
}

std::string print(const StatementList& statements, const PrintOptions& options) {
  Printer printer(options);
  printer.statements(statements, 0);
  return printer.text;
}

std::string print(const Function& function, const PrintOptions& options) {
  Printer printer(options);
  printer.function(function);
  return printer.text;
}

std::string print(const SourceFile& file, const PrintOptions& options) {
  Printer printer(options);
  for (const auto& function : file.functions) printer.function(*function);
  return printer.text;
}

}  // namespace q::ast
