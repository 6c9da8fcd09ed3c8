// Streams over the host's files and the console.

#include <cmath>
#include <cstdint>

#include "fs/stream.h"
#include "support/file_store_test.h"

namespace {

using nk::sim::Entry;
using Lines = std::vector<std::string>;

class Streams : public nk::test::FileStoreTest {
 protected:
  int& error_number = *lib.data<int>("nk_errno");

  NkfsStream* (*open)(const char*, const char*) = fn<NkfsStream*(const char*, const char*)>("nkfs_fopen");
  NkfsStream* (*reopen)(const char*, const char*, NkfsStream*) =
      fn<NkfsStream*(const char*, const char*, NkfsStream*)>("nkfs_freopen");
  int (*close)(NkfsStream*) = fn<int(NkfsStream*)>("nkfs_fclose");
  size_t (*read)(void*, size_t, size_t, NkfsStream*) = fn<size_t(void*, size_t, size_t, NkfsStream*)>("nkfs_fread");
  size_t (*write_)(const void*, size_t, size_t, NkfsStream*) =
      fn<size_t(const void*, size_t, size_t, NkfsStream*)>("nkfs_fwrite");
  int (*getc)(NkfsStream*) = fn<int(NkfsStream*)>("nkfs_getc");
  int (*seek)(NkfsStream*, int64_t, int) = fn<int(NkfsStream*, int64_t, int)>("nkfs_fseek");
  int64_t (*tell)(NkfsStream*) = fn<int64_t(NkfsStream*)>("nkfs_ftell");
  int (*flush)(NkfsStream*) = fn<int(NkfsStream*)>("nkfs_fflush");
  int (*eof)(NkfsStream*) = fn<int(NkfsStream*)>("nkfs_feof");
  int (*error)(NkfsStream*) = fn<int(NkfsStream*)>("nkfs_ferror");
  void (*clearerr)(NkfsStream*) = fn<void(NkfsStream*)>("nkfs_clearerr");
  int (*ungetc)(int, NkfsStream*) = fn<int(int, NkfsStream*)>("nkfs_ungetc");
  bool (*reserve)(NkfsStream*, uint64_t) = lib.internal_function<bool(NkfsStream*, uint64_t)>("nk_lua_file_reserve");

  size_t write(NkfsStream* stream, const std::string& bytes) {
    return write_(bytes.data(), 1, bytes.size(), stream);
  }
  std::string read_all(NkfsStream* stream) {
    std::string bytes;
    for (int c; (c = getc(stream)) != -1;) bytes += char(c);
    return bytes;
  }
};

TEST_F(Streams, OpenFailuresSetTheErrorNumber) {
  EXPECT_EQ(open(nullptr, "r"), nullptr);
  EXPECT_EQ(error_number, 22);
  EXPECT_EQ(open("a", nullptr), nullptr);
  EXPECT_EQ(error_number, 22);

  EXPECT_EQ(open("missing", "rb"), nullptr);
  EXPECT_EQ(error_number, 2);

  machine.memory().fail_nth(1);
  EXPECT_EQ(open("new", "w"), nullptr);
  EXPECT_EQ(error_number, 12);

  // Growing the buffer of a writable stream on an existing file.
  put("old", "content");
  machine.memory().fail_nth(2);
  EXPECT_EQ(open("old", "r+"), nullptr);
  EXPECT_EQ(error_number, 12);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);

  // A name the record cannot hold is refused before the host sees it, so that no stream
  // is ever stored under another name than the one it was opened with.
  machine.clear_calls();
  EXPECT_EQ(open(std::string(241, 'n').c_str(), "w"), nullptr);
  EXPECT_EQ(error_number, 22);
  EXPECT_TRUE(machine.calls().empty());
  NkfsStream* longest = open(std::string(240, 'n').c_str(), "w");
  ASSERT_NE(longest, nullptr);
  write(longest, "x");
  EXPECT_EQ(close(longest), 0);
  EXPECT_EQ(get(std::string(240, 'n')), "x");
}

TEST_F(Streams, ModeLettersDecideDirectionStartAndAppending) {
  for (const char* mode : {"w", "a", "r+", "+"}) {
    NkfsStream* stream = open("missing", mode);
    ASSERT_NE(stream, nullptr) << mode;
    EXPECT_EQ(stream->size, 0u);
    EXPECT_EQ(close(stream), 0);
  }
  // Opening and closing without a write stores nothing, not even for "w".
  EXPECT_FALSE(exists("missing"));
  put("kept", "old");
  EXPECT_EQ(close(open("kept", "w")), 0);
  EXPECT_EQ(get("kept"), "old");
  EXPECT_EQ(host_calls(Entry::file_write), 0u);

  // "r" and "rb": read-only, reading the host's own copy without taking one.
  uint64_t reallocations = machine.memory().counters().reallocations;
  NkfsStream* in = open("kept", "br");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->buffer, nullptr);
  EXPECT_EQ(machine.memory().counters().reallocations, reallocations);
  EXPECT_EQ(write(in, "x"), 0u);
  EXPECT_EQ(read_all(in), "old");
  close(in);

  // "w" starts empty and cannot read; "r+" keeps the content and writes over it.
  NkfsStream* out = open("kept", "w");
  EXPECT_EQ(getc(out), -1);
  EXPECT_EQ(eof(out), 0);
  close(out);
  NkfsStream* both = open("kept", "r+");
  EXPECT_EQ(getc(both), 'o');
  write(both, "X");
  close(both);
  EXPECT_EQ(get("kept"), "oXd");

  // "a" reads from the start but every write goes to the end, whatever seek did.
  NkfsStream* log = open("kept", "a");
  EXPECT_EQ(tell(log), 3);
  write(log, "1");
  seek(log, 0, 0);
  EXPECT_EQ(getc(log), 'o');
  write(log, "2");
  close(log);
  EXPECT_EQ(get("kept"), "oXd12");
}

TEST_F(Streams, BufferGrowsByDoublingFrom256) {
  NkfsStream* stream = open("grow", "w");
  write(stream, "a");
  EXPECT_EQ(stream->capacity, 256u);
  write(stream, std::string(255, 'b'));
  EXPECT_EQ(stream->capacity, 256u);
  write(stream, "c");
  EXPECT_EQ(stream->capacity, 512u);
  write(stream, std::string(300, 'd'));
  EXPECT_EQ(stream->capacity, 1024u);
  close(stream);
  EXPECT_EQ(get("grow").size(), 557u);

  NkfsStream* big = open("big", "w");
  write(big, std::string(1000, 'e'));
  EXPECT_EQ(big->capacity, 1024u);

  // Beyond 2^63 doubling cannot reach the requirement: out of memory, without looping
  // and without asking the host.
  uint64_t reallocations = machine.memory().counters().reallocations;
  EXPECT_FALSE(reserve(big, (uint64_t{1} << 63) + 1));
  EXPECT_EQ(error_number, 12);
  EXPECT_EQ(error(big), 1);
  EXPECT_EQ(machine.memory().counters().reallocations, reallocations);
  EXPECT_EQ(big->capacity, 1024u);
  EXPECT_FALSE(reserve(nullptr, 1));

  // A failed growth in a write writes nothing.
  clearerr(big);
  machine.memory().fail_nth(1);
  EXPECT_EQ(write(big, std::string(100, 'f')), 0u);
  EXPECT_EQ(error_number, 12);
  EXPECT_EQ(error(big), 1);
  EXPECT_EQ(big->size, 1000u);
  close(big);
}

TEST_F(Streams, SeekingPastTheEndLeavesAZeroGapForTheNextWrite) {
  NkfsStream* stream = open("gap", "w+");
  EXPECT_EQ(seek(stream, 10, 0), 0);
  EXPECT_EQ(eof(stream), 1);
  write(stream, "abc");
  EXPECT_EQ(eof(stream), 0);
  close(stream);
  EXPECT_EQ(get("gap"), std::string(10, '\0') + "abc");

  stream = open("gap", "r");
  EXPECT_EQ(seek(stream, -3, 2), 0);
  EXPECT_EQ(getc(stream), 'a');
  EXPECT_EQ(seek(stream, 1, 1), 0);
  EXPECT_EQ(getc(stream), 'c');
  EXPECT_EQ(seek(stream, 13, 0), 0);  // exactly the size: end of file at once
  EXPECT_EQ(eof(stream), 1);
  EXPECT_EQ(getc(stream), -1);
  EXPECT_EQ(tell(stream), 13);

  // Bad origins, negative targets and targets that overflow are invalid arguments.
  for (auto [offset, origin] : {std::pair<int64_t, int>{0, 3}, {-1, 0}, {-14, 2}, {INT64_MAX, 1}}) {
    error_number = 0;
    clearerr(stream);
    EXPECT_EQ(seek(stream, offset, origin), -1);
    EXPECT_EQ(error_number, 22);
    EXPECT_EQ(error(stream), 1);
    EXPECT_EQ(tell(stream), 13);
  }
  close(stream);
  error_number = 0;
  EXPECT_EQ(seek(nullptr, 0, 0), -1);
  EXPECT_EQ(error_number, 22);
  error_number = 0;
  EXPECT_EQ(tell(nullptr), -1);
  EXPECT_EQ(error_number, 22);
}

TEST_F(Streams, PushbackAndIndicators) {
  put("text", "AB");
  NkfsStream* stream = open("text", "r");
  EXPECT_EQ(getc(stream), 'A');
  EXPECT_EQ(ungetc(0x141, stream), 0x41);
  EXPECT_EQ(tell(stream), 1);
  EXPECT_EQ(getc(stream), 0x41);
  EXPECT_EQ(getc(stream), 'B');
  EXPECT_EQ(getc(stream), -1);
  EXPECT_EQ(eof(stream), 1);
  EXPECT_EQ(ungetc('z', stream), 'z');
  EXPECT_EQ(eof(stream), 0);
  ungetc('y', stream);  // one byte of pushback: the later one wins
  EXPECT_EQ(getc(stream), 'y');
  EXPECT_EQ(getc(stream), -1);

  seek(stream, 0, 2);
  ungetc('q', stream);
  clearerr(stream);
  EXPECT_EQ(eof(stream), 0);
  EXPECT_EQ(getc(stream), -1);  // the pushed-back byte is gone
  EXPECT_EQ(ungetc(-1, stream), -1);
  close(stream);

  EXPECT_EQ(eof(nullptr), 0);
  EXPECT_EQ(error(nullptr), 0);
  EXPECT_EQ(getc(nullptr), -1);
  EXPECT_EQ(ungetc('a', nullptr), -1);
  clearerr(nullptr);
}

TEST_F(Streams, ReadsCountWholeItemsAndKeepAPartialOne) {
  put("ten", "0123456789");
  NkfsStream* stream = open("ten", "r");
  char items[12];
  memset(items, '-', sizeof items);
  ungetc('P', stream);
  EXPECT_EQ(read(items, 4, 3, stream), 2u);
  EXPECT_EQ(std::string(items, 12), "P0123456789-");
  EXPECT_EQ(eof(stream), 1);
  EXPECT_EQ(read(items, 4, 3, stream), 0u);

  // An item size times count beyond 64 bits reads nothing.
  seek(stream, 0, 0);
  EXPECT_EQ(read(items, SIZE_MAX / 2, 3, stream), 0u);
  EXPECT_EQ(error(stream), 1);
  EXPECT_EQ(tell(stream), 0);
  EXPECT_EQ(read(nullptr, 1, 1, stream), 0u);
  EXPECT_EQ(read(items, 0, 1, stream), 0u);
  close(stream);

  NkfsStream* out = open("out", "w");
  EXPECT_EQ(write_("x", SIZE_MAX / 2, 3, out), 0u);
  EXPECT_EQ(error(out), 1);
  EXPECT_EQ(out->size, 0u);
  EXPECT_EQ(write_("abcdef", 3, 2, out), 2u);
  close(out);
  EXPECT_EQ(get("out"), "abcdef");
}

TEST_F(Streams, StoresOnlyWhatChangedAndReportsFailedStores) {
  NkfsStream* stream = open("store", "w");
  write(stream, "one");
  EXPECT_EQ(flush(stream), 0);
  EXPECT_EQ(flush(stream), 0);
  EXPECT_EQ(host_calls(Entry::file_write), 1u);
  EXPECT_EQ(get("store"), "one");

  machine.table().disable(Entry::file_write);
  write(stream, "two");
  EXPECT_EQ(flush(stream), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(error(stream), 1);
  machine.table().enable(Entry::file_write);
  EXPECT_EQ(flush(stream), 0);  // still dirty, so the next flush stores
  EXPECT_EQ(get("store"), "onetwo");

  // A content of 4 GiB or more does not fit the host's 32-bit size: no part of it is stored.
  stream->size = uint64_t{1} << 32;
  stream->dirty = 1;
  machine.clear_calls();
  error_number = 0;
  EXPECT_EQ(flush(stream), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(host_calls(Entry::file_write), 0u);
  stream->size = 6;

  // The record goes even when the final store fails.
  machine.table().disable(Entry::file_write);
  write(stream, "!");
  EXPECT_EQ(close(stream), -1);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
  EXPECT_EQ(get("store"), "onetwo");

  EXPECT_EQ(flush(nullptr), 0);
  EXPECT_EQ(close(nullptr), 0);
  // freopen closes the old stream even when the new open fails.
  EXPECT_EQ(reopen("missing", "r", open("x", "w")), nullptr);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

TEST_F(Streams, ConsoleStreams) {
  NkfsStream* out = open("__nkfs_stdout", "r");
  NkfsStream* err = open("__nkfs_stderr", "");
  EXPECT_EQ(getc(out), -1);
  write(out, "to ");
  write(err, "one line\n");
  EXPECT_EQ(tell(out), 3);
  EXPECT_EQ(flush(out), 0);
  write(out, "pending");
  EXPECT_EQ(flush(out), 0);  // the console's pending line stays pending
  EXPECT_EQ(machine.console().lines(), Lines{"to one line"});
  EXPECT_EQ(seek(out, 0, 0), -1);
  EXPECT_EQ(error_number, 22);
  EXPECT_EQ(error(out), 1);

  machine.console().script({"abc", ""});
  NkfsStream* in = open("__nkfs_stdin", "w");
  EXPECT_EQ(write(in, "x"), 0u);
  char bytes[6] = {};
  EXPECT_EQ(read(bytes, 1, 6, in), 5u);
  EXPECT_EQ(std::string(bytes, 5), "abc\n\n");
  EXPECT_EQ(eof(in), 1);
  EXPECT_EQ(tell(in), 0);
  // Reading handed the pending output over first, as a prompt.
  EXPECT_EQ(machine.console().lines(), (Lines{"to one line", "pending"}));
  for (auto* stream : {out, err, in}) EXPECT_EQ(close(stream), 0);
  EXPECT_EQ(host_calls(Entry::file_write), 0u);
  EXPECT_EQ(host_calls(Entry::file_stat), 0u);
}

TEST_F(Streams, MissingHostFieldsActAsMissingFilesAndFailedStores) {
  put("there", "x");
  machine.table().disable(Entry::file_stat);
  EXPECT_EQ(open("there", "r"), nullptr);
  EXPECT_EQ(error_number, 2);
  NkfsStream* stream = open("there", "a");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->size, 0u);
  write(stream, "y");
  machine.table().set_size(0x38);  // file_write at 0x38 falls outside the table
  EXPECT_EQ(close(stream), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(get("there"), "x");
}

}  // namespace
