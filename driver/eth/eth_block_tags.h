// Block numbers for the ends of a range of blocks: numbers written in decimal or hex, and the
// tags 'earliest' (block 0), 'latest' (eth_blockNumber), 'safe', 'finalized' and 'pending'
// (the number of the block eth_getBlockByNumber gives for the tag), asked of the node once
// per scan.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "driver/eth/eth_context.h"

// The number a text spells: decimal digits, or "0x" and hex digits; empty when it spells none
// or more than 64 bits.
std::optional<uint64_t> eth_block_number_text(const std::string& text);
// Whether `text` is one of the block tags (in any case).
bool eth_is_block_tag(const std::string& text);
// The hex quantity of `number` ("0x0", "0x64").
std::string eth_hex_quantity(uint64_t number);

// The block tags a scan has resolved, by lower-case tag.
using EthResolvedTags = std::map<std::string, uint64_t>;

// The block number of `text` (a number or a tag, asked of the node at most once per tag and
// `resolved`) for the parameter `column` of `table`. False with the diagnostic posted when the
// node cannot say or the text is neither. Throws std::bad_alloc.
bool eth_resolve_block(EthStmt* stmt, const std::string& table, const std::string& column,
                       const std::string& text, EthResolvedTags* resolved, uint64_t* number);
