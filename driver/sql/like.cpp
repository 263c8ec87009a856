// LIKE compilation and matching. The in-memory matcher is the usual two-pointer glob
// walk that, on a mismatch, retries only from the most recent "any string": earlier
// ones never need revisiting, so a match costs at most text x program steps. The
// streaming matcher tracks the set of live program steps instead, so it needs no
// look-back into text already consumed.
#include "driver/sql/like.h"

#include <utility>

#include "support/unicode.h"

namespace {

unsigned char upper_ascii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

bool same_ignoring_case(unsigned char a, unsigned char b) {
  return upper_ascii(a) == upper_ascii(b);
}

// Size of the step starting at `op`.
size_t step_size(unsigned char op) {
  return op == LIKE_OP_LITERAL ? 2 : 1;
}

// Bytes of the text character at `at` (ASCII without decoding).
size_t character_size(const unsigned char* bytes, size_t at, size_t length) {
  return bytes[at] < 0x80 ? 1
                          : utf8_char_size(reinterpret_cast<const char*>(bytes) + at, length - at);
}

// Whether the program's literal steps from `step` spell the `size` bytes of a character.
bool literals_match(const unsigned char* program, size_t step, const unsigned char* character,
                    size_t size) {
  for (size_t k = 0; k < size; ++k, step += 2)
    if (program[step] != LIKE_OP_LITERAL || !same_ignoring_case(program[step + 1], character[k]))
      return false;
  return true;
}

}  // namespace

char like_escape_char(const char* escape_value, size_t escape_length) {
  if (!escape_value || escape_length == 0) return LIKE_DEFAULT_ESCAPE;
  return escape_value[0];
}

int like_compile(const char* pattern, size_t length, char escape, unsigned char* program) {
  if (!program || (!pattern && length > 0)) return LIKE_BAD_ARGUMENT;
  size_t out = 0;
  bool after_any_string = false;
  for (size_t at = 0; at < length; ++at) {
    char c = pattern[at];
    if (c == escape) {
      if (at + 1 == length) {
        program[0] = LIKE_OP_END;  // leave a harmless program behind
        return LIKE_TRAILING_ESCAPE;
      }
      program[out++] = LIKE_OP_LITERAL;
      program[out++] = static_cast<unsigned char>(pattern[++at]);
    } else if (c == '_' || c == '?') {
      program[out++] = LIKE_OP_ANY_CHAR;
    } else if (c == '%' || c == '*') {
      // Adjacent runs mean the same as one; merging keeps the matchers' state small.
      if (!after_any_string) program[out++] = LIKE_OP_ANY_STRING;
      after_any_string = true;
      continue;
    } else {
      program[out++] = LIKE_OP_LITERAL;
      program[out++] = static_cast<unsigned char>(c);
    }
    after_any_string = false;
  }
  program[out] = LIKE_OP_END;
  return LIKE_COMPILED;
}

size_t like_program_length(const unsigned char* program) {
  size_t at = 0;
  while (program[at] == LIKE_OP_LITERAL || program[at] == LIKE_OP_ANY_CHAR ||
         program[at] == LIKE_OP_ANY_STRING)
    at += step_size(program[at]);
  return at + 1;
}

bool like_match(const unsigned char* program, const char* text, size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t step = 0, at = 0;
  // Where to resume after a mismatch: the step after the latest "any string", and the
  // text position that run would next extend to.
  bool have_retry = false;
  size_t retry_step = 0, retry_at = 0;
  while (at < length) {
    unsigned char op = program[step];
    size_t size = character_size(bytes, at, length);
    if (op == LIKE_OP_LITERAL && literals_match(program, step, bytes + at, size)) {
      step += 2 * size;
      at += size;
    } else if (op == LIKE_OP_ANY_CHAR) {
      ++step;
      at += size;
    } else if (op == LIKE_OP_ANY_STRING) {
      ++step;
      have_retry = true;
      retry_step = step;
      retry_at = at;
    } else if (have_retry) {
      // Let the latest run swallow one more character and try the rest again.
      step = retry_step;
      retry_at += character_size(bytes, retry_at, length);
      at = retry_at;
    } else {
      return false;
    }
  }
  while (program[step] == LIKE_OP_ANY_STRING) ++step;
  return program[step] == LIKE_OP_END;
}

LikePatternShape like_fixed_prefix(const unsigned char* program, std::string* prefix) {
  if (prefix) prefix->clear();
  size_t step = 0;
  for (; program[step] == LIKE_OP_LITERAL; step += 2)
    if (prefix) prefix->push_back(static_cast<char>(program[step + 1]));
  if (program[step] == LIKE_OP_ANY_STRING && program[step + 1] == LIKE_OP_END)
    return LIKE_SHAPE_PREFIX;
  if (program[step] == LIKE_OP_LITERAL || program[step] == LIKE_OP_ANY_CHAR ||
      program[step] == LIKE_OP_ANY_STRING)
    return LIKE_SHAPE_GENERAL;
  return LIKE_SHAPE_EXACT;
}

LikeStream::LikeStream(const unsigned char* program) {
  for (size_t at = 0;; at += step_size(program[at])) {
    unsigned char op = program[at];
    bool known = op == LIKE_OP_LITERAL || op == LIKE_OP_ANY_CHAR || op == LIKE_OP_ANY_STRING;
    opcodes_.push_back(known ? op : static_cast<unsigned char>(LIKE_OP_END));
    literals_.push_back(op == LIKE_OP_LITERAL ? upper_ascii(program[at + 1]) : 0);
    if (!known) break;
  }
  seen_.assign(opcodes_.size(), 0);
  generation_ = 1;
  add_live(0, live_);
}

void LikeStream::add_live(size_t position, std::vector<size_t>& into) {
  // A live "any string" also makes everything after it live, having matched nothing.
  while (seen_[position] != generation_) {
    seen_[position] = generation_;
    into.push_back(position);
    if (opcodes_[position] != LIKE_OP_ANY_STRING) break;
    ++position;
  }
}

void LikeStream::feed(const char* bytes, size_t length) {
  for (size_t i = 0; i < length && !live_.empty(); ++i) {
    pending_.push_back(bytes[i]);
    drain(false);
  }
}

void LikeStream::drain(bool at_end) {
  while (!pending_.empty() && !live_.empty()) {
    int status = utf8_sequence_status(pending_.data(), pending_.size());
    if (status == 0 && !at_end) return;  // the rest of the character is still to come
    size_t size = status > 0 ? static_cast<size_t>(status) : 1;
    step_character(pending_.data(), size);
    pending_.erase(0, size);
  }
}

void LikeStream::step_character(const char* character, size_t size) {
  if (++generation_ == 0) {  // wrapped: forget every old mark
    seen_.assign(seen_.size(), 0);
    generation_ = 1;
  }
  next_.clear();
  for (size_t step : live_) {
    switch (opcodes_[step]) {
      case LIKE_OP_LITERAL: {
        bool same = true;
        for (size_t k = 0; k < size && same; ++k)
          same = opcodes_[step + k] == LIKE_OP_LITERAL &&
                 literals_[step + k] == upper_ascii(static_cast<unsigned char>(character[k]));
        if (same) add_live(step + size, next_);
        break;
      }
      case LIKE_OP_ANY_CHAR:
        add_live(step + 1, next_);
        break;
      case LIKE_OP_ANY_STRING:
        add_live(step, next_);
        break;
      default:
        break;
    }
  }
  std::swap(live_, next_);
}

bool LikeStream::matched() const {
  if (!pending_.empty()) {  // an unfinished last character: its bytes count one by one
    LikeStream finished = *this;
    finished.drain(true);
    finished.pending_.clear();
    return finished.matched();
  }
  for (size_t step : live_)
    if (opcodes_[step] == LIKE_OP_END) return true;
  return false;
}
