#include "manager/monitor/change_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "manager/monitor/file_watcher.h"

namespace zelk::manager {
namespace {

using platform::AppendNotifyRecord;
using platform::DirChangeBatch;

struct Rec {
  std::uint32_t action;
  std::u16string name;
};

std::vector<unsigned char> Buffer(const std::vector<Rec>& recs) {
  std::vector<unsigned char> out;
  std::size_t prev = std::string::npos;
  for (const Rec& r : recs) AppendNotifyRecord(&out, &prev, r.action, r.name);
  return out;
}

DirChangeBatch Batch(const std::vector<Rec>& recs, bool lost = false) {
  DirChangeBatch b;
  b.records = Buffer(recs);
  b.lost = lost;
  return b;
}

std::vector<FileChange> Assemble(const std::string& dir,
                                 const std::vector<DirChangeBatch>& batches) {
  ChangeAssembler assembler(dir);
  std::vector<FileChange> out;
  for (const auto& b : batches) assembler.Add(b, &out);
  return out;
}

void PutUint32(std::vector<unsigned char>* buf, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*buf)[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

const std::string kDir = "D:\\www\\";

struct AssembleCase {
  const char* name;
  std::vector<std::vector<Rec>> batches;
  std::vector<FileChange> expected;
};

TEST(ChangeAssembler, TurnsRecordsIntoChangesInRecordOrder) {
  const std::vector<AssembleCase> cases = {
      {"added", {{{1, u"a.asp"}}}, {{foAdded, kDir + "a.asp", ""}}},
      {"removed and modified",
       {{{2, u"a.asp"}, {3, u"b.asp"}}},
       {{foRemoved, kDir + "a.asp", ""}, {foModified, kDir + "b.asp", ""}}},
      {"rename pair",
       {{{4, u"a.txt"}, {5, u"a.asp"}}},
       {{foRenamed, kDir + "a.txt", kDir + "a.asp"}}},
      {"one write in several records",
       {{{3, u"log.txt"}, {3, u"log.txt"}, {3, u"log.txt"}}},
       {{foModified, kDir + "log.txt", ""},
        {foModified, kDir + "log.txt", ""},
        {foModified, kDir + "log.txt", ""}}},
      {"subfolder", {{{1, u"img\\x.php"}}}, {{foAdded, kDir + "img\\x.php", ""}}},
      {"new name without old name is dropped",
       {{{5, u"a.asp"}, {1, u"b"}}},
       {{foAdded, kDir + "b", ""}}},
      {"old name followed by another change is dropped",
       {{{4, u"a.txt"}, {2, u"c"}, {5, u"a.asp"}}},
       {{foRemoved, kDir + "c", ""}}},
      {"unknown actions give nothing", {{{0, u"a"}, {6, u"b"}, {0xFFFFFFFF, u"c"}}}, {}},
      {"unknown action between the halves of a rename",
       {{{4, u"a"}, {9, u"x"}, {5, u"b"}}},
       {{foRenamed, kDir + "a", kDir + "b"}}},
      {"blanks and controls stripped at both ends",
       {{{1,
          u" \t\x01"
          u"a b.asp \r\n"}}},
       {{foAdded, kDir + "a b.asp", ""}}},
      {"name of blanks only gives an empty path",
       {{{1, u"  \t"}, {2, u""}}},
       {{foAdded, "", ""}, {foRemoved, "", ""}}},
      {"Chinese name in GBK",
       {{{1, u"\u4E2D\u6587.asp"}}},
       {{foAdded, kDir + "\xD6\xD0\xCE\xC4.asp", ""}}},
      {"character outside GBK becomes a question mark",
       {{{1, u"a\u0E01b"}}},
       {{foAdded, kDir + "a?b", ""}}},
      {"NUL ends a name",
       {{{1, std::u16string(u"a.asp\0.txt", 10)}}},
       {{foAdded, kDir + "a.asp", ""}}},
      // A rename split between two reads is kept and delivered when its new
      // name arrives.
      {"rename across batches",
       {{{1, u"x"}, {4, u"a.txt"}}, {{5, u"a.asp"}, {2, u"y"}}},
       {{foAdded, kDir + "x", ""},
        {foRenamed, kDir + "a.txt", kDir + "a.asp"},
        {foRemoved, kDir + "y", ""}}},
      {"rename across an empty batch",
       {{{4, u"a"}}, {}, {{5, u"b"}}},
       {{foRenamed, kDir + "a", kDir + "b"}}},
  };
  for (const AssembleCase& c : cases) {
    std::vector<DirChangeBatch> batches;
    for (const auto& b : c.batches) batches.push_back(Batch(b));
    EXPECT_EQ(Assemble(kDir, batches), c.expected) << c.name;
  }
}

TEST(ChangeAssembler, LostBatchReportsTheDirectoryFirstAndForgetsAWaitingOldName) {
  const auto changes = Assemble(
      kDir, {Batch({{4, u"a.txt"}}), Batch({{5, u"a.asp"}, {1, u"n.asp"}}, /*lost=*/true)});
  const std::vector<FileChange> expected = {{foLost, kDir, ""}, {foAdded, kDir + "n.asp", ""}};
  EXPECT_EQ(changes, expected);
}

TEST(ChangeAssembler, ZeroFilledBufferOfAnEmptyReadDeliversNothing) {
  DirChangeBatch b;
  b.records.assign(4096, 0);
  EXPECT_TRUE(Assemble(kDir, {b}).empty());
}

TEST(ParseChangeRecords, ReadsTheLayoutFieldByField) {
  // Hand-built: two records, the first padded to 4 bytes, little-endian fields.
  std::vector<unsigned char> buf(16 + 16, 0);
  PutUint32(&buf, 0, 16);
  PutUint32(&buf, 4, 1);
  PutUint32(&buf, 8, 2);
  buf[12] = 'A';
  PutUint32(&buf, 16, 0);
  PutUint32(&buf, 20, 5);
  PutUint32(&buf, 24, 4);
  buf[28] = 0x2D, buf[29] = 0x4E, buf[30] = 'b';  // U+4E2D then 'b'
  const auto records = ParseChangeRecords(buf.data(), buf.size());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].action, 1u);
  EXPECT_EQ(records[0].name, "A");
  EXPECT_EQ(records[1].action, 5u);
  EXPECT_EQ(records[1].name,
            "\xD6\xD0"
            "b");
}

TEST(ParseChangeRecords, HostileBuffersStayInBounds) {
  struct Case {
    const char* name;
    std::vector<unsigned char> buffer;
    std::size_t records;
  };
  auto with = [](std::vector<unsigned char> b, std::size_t at, std::uint32_t v) {
    PutUint32(&b, at, v);
    return b;
  };
  const auto two = Buffer({{1, u"abc"}, {2, u"de"}});  // first record is 20 bytes long
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"shorter than a header", std::vector<unsigned char>(11, 0), 0},
      {"name length past the end", with(Buffer({{1, u"abc"}}), 8, 1000), 0},
      {"name length of 2^32-1", with(Buffer({{1, u"abc"}}), 8, 0xFFFFFFFF), 0},
      {"second record truncated", std::vector<unsigned char>(two.begin(), two.end() - 2), 1},
      {"next offset past the end", with(two, 0, 4000), 1},
      {"next offset of 2^32-4", with(two, 0, 0xFFFFFFFC), 1},
      {"next offset inside its own record", with(two, 0, 4), 1},
      {"next offset to the very end", with(two, 0, static_cast<std::uint32_t>(two.size())), 1},
      {"odd name length takes whole units", with(Buffer({{1, u"abc"}}), 8, 5), 1},
  };
  for (const Case& c : cases) {
    // An exact-size heap copy, so that a sanitizer build catches any read past it.
    std::unique_ptr<unsigned char[]> exact(new unsigned char[c.buffer.size() + 1]);
    if (!c.buffer.empty()) std::memcpy(exact.get(), c.buffer.data(), c.buffer.size());
    EXPECT_EQ(ParseChangeRecords(exact.get(), c.buffer.size()).size(), c.records) << c.name;
  }
  EXPECT_TRUE(ParseChangeRecords(nullptr, 100).empty());
  EXPECT_EQ(ParseChangeRecords(with(Buffer({{1, u"abc"}}), 8, 5).data(), 20)[0].name, "ab");
}

// Random and mutated buffers: whatever they hold, the parser stays inside
// them (checked by the sanitizer build) and yields at most one record per
// header's worth of bytes, each name no longer than the buffer.
TEST(ParseChangeRecords, FuzzedBuffersNeverReadOutside) {
  std::mt19937 rng(20240517);
  const auto valid = Buffer({{1, u"index.asp"}, {4, u"a.txt"}, {5, u"\u4E2D.asp"}, {3, u"x"}});
  for (int round = 0; round < 20000; ++round) {
    std::vector<unsigned char> buf;
    if (round % 2 == 0) {
      buf.resize(rng() % 200);
      for (auto& b : buf) b = static_cast<unsigned char>(rng());
      // Small offsets and lengths are the interesting ones.
      if (buf.size() >= 12 && rng() % 2) {
        PutUint32(&buf, 0, rng() % 64);
        PutUint32(&buf, 8, rng() % 64);
      }
    } else {
      buf = valid;
      const int flips = 1 + rng() % 4;
      for (int f = 0; f < flips; ++f) buf[rng() % buf.size()] = static_cast<unsigned char>(rng());
      buf.resize(rng() % (buf.size() + 1));
    }
    std::unique_ptr<unsigned char[]> exact(new unsigned char[buf.size() + 1]);
    if (!buf.empty()) std::memcpy(exact.get(), buf.data(), buf.size());
    const auto records = ParseChangeRecords(exact.get(), buf.size());
    ASSERT_LE(records.size(), buf.size() / 12 + 1);
    for (const auto& r : records) ASSERT_LE(r.name.size(), buf.size());
    ChangeAssembler assembler(kDir);
    std::vector<FileChange> changes;
    assembler.Add(records, &changes);
    ASSERT_LE(changes.size(), records.size());
  }
}

TEST(ToWin32Filter, MapsTheEighthMemberToBitEight) {
  EXPECT_EQ(ToWin32Filter(TNotifyFilters{}), 0u);
  EXPECT_EQ(ToWin32Filter(TNotifyFilters{nfFileNameChange, nfDirNameChange}), 0x3u);
  EXPECT_EQ(ToWin32Filter(TNotifyFilters{nfCreationDateChange}), 0x40u);
  EXPECT_EQ(ToWin32Filter(TNotifyFilters{nfSecurityChange}), 0x100u);
  EXPECT_EQ(ToWin32Filter(TNotifyFilters::All()), 0x17Fu);
}

}  // namespace
}  // namespace zelk::manager
