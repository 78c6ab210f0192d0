// The ZIP format as the engine uses it: the directory read by zip/Directory under the strict
// rules, its faults turned into ZipError, the checks of member data, and the record writers.
//
// Sanity rules are written above their checks. Everything read is bounds-checked against the
// file; a damaged archive throws ZipError (never reads past what it has, never loops on a count
// that lies). ZIP64 records (end record and locator, extra fields, 8-byte data descriptors) are
// read, and written only where a member or the archive needs them. Spanned (multi-disk) archives
// are refused: the spanning code of the component joins a disk set into one plain archive first.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Directory.h"
#include "FileSystem.h"
#include "Member.h"
#include "MemberRanges.h"
#include "NameRule.h"
#include "Names.h"
#include "Records.h"

namespace zc {

// The format's signatures, sizes, flags and record codecs are the shared ones.
using namespace zip;

// The members and the facts around them, as zip/Directory reads them.
using Entry = zip::Entry;
using Directory = zip::Directory;

// Reads the directory of an archive by the strict rules; names decoded by rule. Throws ZipError:
// kNoArchive (no end record), kFormat/kEof (damaged), kUnsupported (spanned).
Directory ReadDirectory(File& f, NameRule rule = NameRule::Auto);

// How the end record's count differs from the members the central directory holds, or empty:
// the readable members may be extracted, but the archive is not rewritten.
std::string CountMismatchNote(const Directory& d);

// Refuses (kFormat, naming the reason) to rewrite an archive whose directory does not match its
// end record: members the count leaves out would be lost.
void CheckRewritable(const Directory& d);

// Record writers. The local header takes its fields from the entry (sizes and CRC as given);
// with zip64 set it carries the ZIP64 field with both sizes (at offset Zip64SizesAt() of the
// header, for patching after the data is written).
std::vector<uint8_t> LocalHeaderBytes(const Entry& e, const std::string& localExtra, bool zip64 = false);
inline size_t Zip64SizesAt(const Entry& e) { return kLocalSize + e.rawName.size() + 4; }
// The central header; sizes and offset that do not fit 32 bits go into a ZIP64 field.
std::vector<uint8_t> CentralHeaderBytes(const Entry& e);
// The end record, preceded by a ZIP64 end record and locator when the count, the size or the
// offset of the central directory does not fit the classic one.
std::vector<uint8_t> EndRecordBytes(uint64_t count, uint64_t cdSize, uint64_t cdOffset, const std::string& comment);
bool NeedsZip64End(uint64_t count, uint64_t cdSize, uint64_t cdOffset);

}  // namespace zc
