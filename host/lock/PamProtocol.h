// What the lock screen and its authentication process say to each other over their
// socket pair (SOCK_SEQPACKET, so one message is one packet, never split or joined).
// Each packet opens with one of these bytes. The screen sends CHECK and the password's
// bytes after it; the process answers with any number of conversation messages and then
// exactly one SUCCESS (the byte alone) or FAILURE (and a reason).
#pragma once

#include <cstddef>

namespace zorvan::lock::protocol {

constexpr char CHECK = 'C';
constexpr char HIDDEN_PROMPT = 'P';
constexpr char VISIBLE_PROMPT = 'p';
constexpr char INFO = 'I';
constexpr char ERROR = 'E';
constexpr char SUCCESS = 'S';
constexpr char FAILURE = 'F';

// The longest text the process sends; longer ones are cut at a character.
constexpr size_t MAX_TEXT = 1000;

}  // namespace zorvan::lock::protocol
