#pragma once
// The FT2000's CAT commands as far as routing needs them: which commands the transceiver
// answers. One table, used by the router (what to wait for) and by the simulated
// transceiver (what to answer).
//
// A command is a two-letter token, fixed-width parameters and ";". A read form is the
// token plus a short selector (`FA;` has none, `MD0;` one, `EX029;` three); anything longer
// with the same token is a set, which the transceiver does not answer (a rejected command
// of any kind draws "?;"). Action tokens (`AB;`, `SV;`, `UP;` ...) have no read form at all.
// Only tokens whose behaviour is known are listed: an unlisted token is treated as a read,
// so a gap in the table costs nothing.
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::cat {

inline constexpr int8_t kNoReadForm = -1;

struct CommandInfo {
  std::string_view token;
  // Parameter characters of the read form between token and ";", or kNoReadForm.
  int8_t read_params;
  // Parameter characters of the answer to the read form, between token and ";"
  // (0 where the transceiver sends no answer or its width is not known).
  int8_t answer_params;
};

enum class CommandKind : uint8_t {
  Read,     // the transceiver answers it
  Set,      // longer than the token's read form: not answered
  Action,   // a token without read form: not answered
  Unknown,  // not in the table, or shorter than its read form: may be answered
};

// Every listed token, in alphabetical order.
std::span<const CommandInfo> Commands();
// The entry for a token, or nullptr.
const CommandInfo* FindCommand(std::string_view token);
// What a whole command (token, parameters and the final ";") is.
CommandKind Classify(std::string_view command);
// What an answer to the command starts with: the token and the selector the transceiver
// repeats (`MD0;` is answered `MD0n;`). Empty when no answer can be the command's: a set, an
// action, or a listed token's command shorter than its read form.
std::string_view AnswerKey(std::string_view command);
// Whether a command keys the transmitter (`TX1;`, `TX2;`, `MX1;`, `KYn;`) or unkeys it
// (`TX0;`, `MX0;`).
bool KeysTransmitter(std::string_view command);
bool UnkeysTransmitter(std::string_view command);
// Whether a command may draw an answer other than "?;" and must be remembered for it.
inline bool MayBeAnswered(std::string_view command) {
  const CommandKind kind = Classify(command);
  return kind == CommandKind::Read || kind == CommandKind::Unknown;
}

}  // namespace corvane::cat
