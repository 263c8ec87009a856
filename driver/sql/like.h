// LIKE patterns: compiling a pattern into the small byte program the evaluator runs,
// matching values against it (whole text in memory, or fed piecewise from a long
// buffer), and the fixed prefix the scan planner can push down to a backend.
// Matching is anchored at both ends and case-insensitive for ASCII letters; every other
// byte is compared as it stands. The text is taken character by character: "_" matches one
// UTF-8 character, and a literal matches a character only when all of its bytes do (a byte
// that begins no well-formed sequence is a character of its own). Matching costs at most
// text length x program length steps, whatever the pattern.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Opcodes of a compiled pattern; a literal is followed by its character byte.
enum LikeOpcode : unsigned char {
  LIKE_OP_LITERAL = 1,     // the next program byte must equal the text byte (ignoring case)
  LIKE_OP_ANY_CHAR = 2,    // any one character ("_" or "?")
  LIKE_OP_END = 3,         // end of the program: the text must be used up
  LIKE_OP_ANY_STRING = 4,  // any run of characters, empty included ("%" or "*")
};

// Results of like_compile.
enum LikeCompileStatus : int {
  LIKE_COMPILED = 0,
  LIKE_TRAILING_ESCAPE = 1,  // the pattern ends with its escape character
  LIKE_BAD_ARGUMENT = 2,     // null pattern (with a non-zero length) or null program
};

// What the fixed prefix says about a pattern, for the scan planner.
enum LikePatternShape : int {
  LIKE_SHAPE_EXACT = 0,    // no wildcard: the prefix is the whole pattern
  LIKE_SHAPE_PREFIX = 1,   // the prefix followed by one "any string" and nothing else
  LIKE_SHAPE_GENERAL = 2,  // anything else: the prefix only narrows the candidates
};

// The escape used when a LIKE has no ESCAPE clause or an empty one.
constexpr char LIKE_DEFAULT_ESCAPE = '\\';

// Bytes a program for a pattern of `pattern_length` bytes may need.
constexpr size_t like_program_capacity(size_t pattern_length) {
  return 2 * pattern_length + 1;
}

// The escape character of an ESCAPE value: its first byte, or the backslash when the
// value is null or empty.
char like_escape_char(const char* escape_value, size_t escape_length);

// Compiles `pattern` into `program`, which must hold like_program_capacity(length) bytes.
// `escape` makes the byte after it literal; runs of "any string" are merged into one.
// Returns LIKE_COMPILED, LIKE_TRAILING_ESCAPE or LIKE_BAD_ARGUMENT.
int like_compile(const char* pattern, size_t length, char escape, unsigned char* program);

// Bytes used by a compiled program, its end opcode included.
size_t like_program_length(const unsigned char* program);

// True when the whole of `text` matches the compiled program.
bool like_match(const unsigned char* program, const char* text, size_t length);

// The literal bytes before the first wildcard, as written in the pattern (the planner
// must compare them without regard to ASCII case), and the pattern's shape.
LikePatternShape like_fixed_prefix(const unsigned char* program, std::string* prefix);

// Matches a text that arrives in pieces (a long value read from its buffer): feed every
// piece in order, then ask matched(). Keeps only the set of live program positions.
class LikeStream {
 public:
  // Starts a match against `program`, which must outlive the stream.
  explicit LikeStream(const unsigned char* program);
  // Consumes the next `length` bytes of the text.
  void feed(const char* bytes, size_t length);
  // True when no continuation of the text fed so far can match (reading may stop).
  bool dead() const { return live_.empty(); }
  // True when the text fed so far, taken as the whole text, matches.
  bool matched() const;

 private:
  void add_live(size_t position, std::vector<size_t>& into);
  // Steps over every whole character held in pending_; at the end of the text an
  // unfinished one is taken byte by byte.
  void drain(bool at_end);
  // Advances the live steps over one character of `size` bytes.
  void step_character(const char* character, size_t size);
  std::vector<unsigned char> opcodes_;   // one opcode per program step
  std::vector<unsigned char> literals_;  // the literal byte of each LIKE_OP_LITERAL step
  std::vector<size_t> live_;             // live steps, each listed once
  std::vector<size_t> next_;             // scratch for the next set
  std::vector<unsigned> seen_;           // step -> generation it was last added in
  unsigned generation_ = 0;              // bumps at every step to reset seen_ lazily
  std::string pending_;                  // bytes of a character not yet complete
};
