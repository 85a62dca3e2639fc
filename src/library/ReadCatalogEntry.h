// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/CatalogEntry.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// How many bytes of a file the library reads: a whole patch file; anything after it is never looked at.
std::size_t CatalogReadSize();

// Fills the patch's texts, validity and reason of `entry` from the file's first bytes (at most
// CatalogReadSize()). The only place where the library reads the patch format.
void ReadCatalogEntry(std::span<const std::uint8_t> head, CatalogEntry& entry);

// The key a patch's marks are kept by: a hash of the record's bytes (never 0).
std::uint64_t ContentHash(std::span<const std::uint8_t> bytes);
// The parameters of a record's kRecordSize bytes (all zero when fewer are given).
PatchParams ParamsOfRecord(std::span<const std::uint8_t> record);

// The message for a file that could not be opened for reading.
std::string CatalogOpenFailedReason();
