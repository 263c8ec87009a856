// The quick reader of the JSON a node usually sends: hex strings, small integers, objects and
// arrays, read straight into Jansson values, so that a reply of hundreds of kilobytes is not
// taken apart one character at a time. Anything outside that plain form is left to Jansson.
#pragma once

#include <jansson.h>

#include <string_view>

// The document `text` as the Jansson values json_loadb(JSON_DECODE_ANY) would build for it,
// except that an integer literal too large for 64 bits becomes a JSON string of its exact text.
// Null (and nothing left allocated) when the text is not plain: a string with an escape, a
// control character or a byte above 0x7F, a number with a fraction or exponent, nesting deeper
// than 512, or anything malformed. The caller then hands the text to Jansson, which reads it
// or says what is wrong with it.
json_t* eth_json_read_plain(std::string_view text);
