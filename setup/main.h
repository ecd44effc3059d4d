// The setup tool's run: the argument split into tokens, one command chosen
// and performed, its outcome returned as the process exit code.
#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "win/api.h"

// The comma-separated tokens of the argument, split in place. Entry i points
// at token i; the entry after the last token is null. At most nine tokens.
struct TokenList {
  static constexpr int kMaxTokens = 9;
  std::array<win::LPWSTR, kMaxTokens + 1> entries{};
  int count = 0;
  bool tooMany = false;  // a tenth token was found and not taken
};

// A token that a command needs: its name, for the trace that names it when it
// is missing or refused, and the test it must pass where the command takes
// only some texts (null: any text).
struct SetupToken {
  const char16_t* name = nullptr;
  bool (*valid)(std::u16string_view token) = nullptr;
};

// One command of the tool: the name it is called by (A-Z in any case), the
// tokens it needs after the name, in order, the handler that performs it
// with the whole token list (token 0 is the name) and returns the exit code,
// and the exit code of a run that does nothing (a token missing or refused,
// too many tokens).
struct SetupCommand {
  const char16_t* name;
  std::array<SetupToken, 2> tokens;  // the needed ones first, then unnamed ones
  int (*run)(const TokenList& tokens);
  int nothingDone = 0;

  // A command needs exactly the tokens it names.
  constexpr int TokensNeeded() const {
    return static_cast<int>(std::ranges::find(tokens, nullptr, &SetupToken::name) - tokens.begin());
  }
};

// Every command of the tool: the one list that the dispatch, its tests and
// the fault sweep go by.
std::span<const SetupCommand> SetupCommands();

// Splits `argument` at commas in place: runs of commas and commas at either
// end yield no empty token. Traces each token as "Parameter[i]".
TokenList TMSCAMainInternalSplitArgument(win::LPWSTR argument);

// The whole run of the tool for the argument that the runtime passes to the
// program entry (the command line without the program name). Returns the
// process exit code.
int TMSCAMain(win::LPWSTR argument);
