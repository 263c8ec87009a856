// CAST: conversion of a value to a target SQL type with the engine's rules for every
// source kind, and the conversion of a CASE result to its declared type.
#pragma once

#include <cstddef>

struct EvalContext;
struct QuillValue;
struct DataTypeNode;

// CAST(source AS target). A new value on context->pool, or null after raising the error
// (eval_error) when the conversion fails ("Underflow in CAST", "Overflow in CAST", invalid
// literal texts). A NULL source gives a NULL of the target's kind.
QuillValue* cast_value(EvalContext* context, const QuillValue* source, const DataTypeNode* target);
// As cast_value with the target given by its parts (length, scale: -1 when not given;
// interval precisions through length and scale as a DataTypeNode carries them).
QuillValue* cast_value_to(EvalContext* context, const QuillValue* source, int sql_type, int length,
                          int scale);

// The truth a word spells: "true"/"yes" give 1, "false"/"no" give 0 (any case, blanks
// around ignored). False for any other text. BIT columns compared with or cast from such
// words take them at their meaning rather than as a leading number.
bool cast_truth_word(const char* text, size_t length, int* out);
