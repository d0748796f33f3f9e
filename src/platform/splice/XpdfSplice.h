#pragma once

// The splicing library: opens input PDFs, reports their encryption and permission word, copies page
// ranges into an output PDF and writes it, optionally under the standard security handler.
//
// Conventions of every call:
// - Handles are opaque pointers owned by the library; a null handle (0) means failure. Passing a
//   null, closed or unknown handle is harmless: the call fails or does nothing.
// - Paths are zero-terminated UTF-16 text, exactly what QString::utf16() returns (reinterpret the
//   const char16_t* / const ushort* pointer); a path that is not valid UTF-16 fails.
// - Passwords are zero-terminated 8-bit text in the locale's encoding (what ToNarrow gives: UTF-8
// on
//   Linux); a null password is taken as the empty one.
// - No call throws; failures are return values. The underlying library's warnings are collected per
//   handle (xpdfSpliceWarnings), never printed.
// - Calls are meant for one thread (the user-interface thread), except xpdfSpliceOpenInputForCopyW
//   and xpdfSpliceOpenInputExW, which may open the next input on a second thread; the handle
//   registry itself is guarded, so a stray call from another thread does not corrupt it.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace plyfold {

struct XpdfSpliceInputObject;
struct XpdfSpliceOutputObject;
using XpdfSpliceInput = XpdfSpliceInputObject*;
using XpdfSpliceOutput = XpdfSpliceOutputObject*;

// Prepares the library; call once before any other call. Further calls do nothing. True when ready.
bool xpdfSpliceInit();

// Opens a PDF for reading. Null when the file cannot be read, is not a PDF beyond repair, or needs
// a password to open (use xpdfSpliceOpenInputWithPasswordW then).
XpdfSpliceInput xpdfSpliceOpenInputW(const char16_t* path);

// Opens a PDF with a password, which may be the user or the owner password. The bytes are tried as
// given, then in the other encodings a reader may have used for the same text. Null on failure,
// including a wrong password. An unencrypted file opens whatever the password.
XpdfSpliceInput xpdfSpliceOpenInputWithPasswordW(const char16_t* path, const char* password);

// Why xpdfSpliceOpenInputExW did not open a file.
enum class XpdfSpliceOpenError {
    None,       // it opened
    Password,   // the file was read, but it needs a password that was not given or is wrong
    Unreadable, // not readable at all (missing, not a PDF, damaged beyond repair, no page tree)
};

// Opens a PDF as xpdfSpliceOpenInputW does (password null) or as xpdfSpliceOpenInputWithPasswordW
// does (password not null), and tells in *error (when error is not null) why it did not, so that a
// caller may ask for a password only when one would help. The page tree is read while opening, so
// xpdfSpliceGetPageCount answers at once, and so is what the pages of `ranges` need to be copied
// (first and last page numbers, from 1; clipped to the pages there are), as
// xpdfSpliceOpenInputForCopyW reads it. Like the other opens, reading runs beside other calls.
XpdfSpliceInput xpdfSpliceOpenInputExW(const char16_t* path, const char* password,
                                       XpdfSpliceOpenError* error,
                                       const std::vector<std::pair<int, int>>& ranges = {});

// Number of pages of the input, as xpdfSpliceAddPages numbers them (the page tree walked once, a
// page listed twice counted twice). -1 for an invalid handle or a page tree that cannot be read.
int xpdfSpliceGetPageCount(XpdfSpliceInput input);

// Opens a PDF as xpdfSpliceOpenInputW does (password null) or as xpdfSpliceOpenInputWithPasswordW
// does (password given), and reads now, instead of while copying, its page tree and what the pages
// of the given ranges (first, last; 1-based, as for xpdfSpliceAddPages) need. The file is read
// without holding the library's lock, so that a caller may open the next input on a second thread
// while pages of the previous one are copied (the reason for a failure is then that thread's
// xpdfSpliceLastError). What cannot be read does not fail the open: copying pages that need it
// fails, as after xpdfSpliceOpenInputW.
XpdfSpliceInput xpdfSpliceOpenInputForCopyW(const char16_t* path, const char* password,
                                            const std::vector<std::pair<int, int>>& ranges);

// True when the input file is encrypted. False for a null handle.
bool xpdfSpliceIsEncrypted(XpdfSpliceInput input);

// The input file's permission word P (standard security handler; bit 0x10 = copy or extract
// content), as stored in the file, whatever password opened it. 0xFFFFFFFF for an unencrypted file;
// 0 (nothing allowed) for a null handle.
std::uint32_t xpdfSpliceGetPermissions(XpdfSpliceInput input);

// Releases the handle. Pages already added to an output stay valid: the document is kept open
// until every output that copied from it has been closed.
void xpdfSpliceCloseInput(XpdfSpliceInput input);

// Starts an output PDF at path with the given version (the program passes 1.6; the written file
// declares at least this version). Nothing is written to path until xpdfSpliceCloseOutput. Null
// when the version is out of range (1.0 to 2.0), the path is invalid, its folder cannot take a new
// file, or the path is a file currently open as an input.
XpdfSpliceOutput xpdfSpliceOpenOutputW(const char16_t* path, double version);

// Appends pages first..last (1-based, inclusive) of input to output, in call order, with their
// annotations; form fields on the copied pages keep working (fields whose names clash with fields
// already in the output are renamed). Links to pages of the same input land on the copies of those
// pages when the output is written, and are switched off when their page is not in the output.
// False, with the output unchanged, when the range is outside the document (first < 1, last <
// first, last > page count), a handle is invalid, or the input forbids copying (bit 0x10 clear) and
// was opened without a password (the owner password, or a non-empty user password, grants copying).
bool xpdfSpliceAddPages(XpdfSpliceInput input, int first, int last, XpdfSpliceOutput output);

// Protects the output when it is written. Mode 2: AES-128 (revision 4). ownerPassword lifts the
// restrictions, userPassword (may be empty) opens the file; permissions is the P word, mapped bit
// by bit (0x4 print, 0x800 high-quality print, 0x8 modify, 0x10 copy, 0x20 annotate, 0x100 fill
// forms, 0x200 accessibility, 0x400 assemble). Any other mode, or a call on an output that cannot
// be encrypted as asked, fails and marks the output failed, so it is never written unprotected.
bool xpdfSpliceSetEncryption(XpdfSpliceOutput output, int mode, const char* ownerPassword,
                             const char* userPassword, std::uint32_t permissions);

// Writes the output as a complete PDF and releases the handle (in every case). Equal streams, and
// the fonts and graphics states built on them, are stored once; objects go into object streams. The
// file is written under a temporary name in the same folder and renamed over path only when
// complete, so a failed write leaves path as it was, and the temporary file is removed. True when
// the file was written. On failure xpdfSpliceLastError says why: for an output that an earlier
// request marked failed, the reason of the first such request; for a write that failed, the
// system's reason ("cannot write the output file: No space left on device"); for stream data that
// could not be read, the first data that could not.
bool xpdfSpliceCloseOutput(XpdfSpliceOutput output);

// Whether closing an output also frees the memory it and its inputs hold (true until set
// otherwise). The memory of closed outputs and inputs is freed on a thread of the library's own,
// so the calls do not wait for it; a program that ends normally waits at its end until it is done.
// Freeing a large output still takes a good part of the time of the merge; a program that ends
// right after its last output was written may skip it and leave the memory to the operating
// system, ending with std::_Exit so that nothing else runs over the unreleased objects.
void xpdfSpliceSetFreeOnClose(bool free);

// From how many pages on an input's outlines, links, named destinations and page labels are read
// from a second opening of its file, on a thread beside the copying of its pages (500 until set
// otherwise; 0 never). Only on a machine with more than one processor. The merged file is the same
// either way; this is a setting for tuning and tests.
void xpdfSpliceSetAsideReading(int minPages);
// How many inputs have had them read that way since the program started.
long long xpdfSpliceReadAsideCount();

// From how many pages the first pages an output takes make that input's document the output's
// own, so that they are not copied (500 until set otherwise; 0 never). Only for an input without a
// form or encryption, of a PDF version no later than the output's, taken while no other output is
// open; once taken, no other output can take pages from it. The merged file keeps the same pages,
// outlines, links, names and labels either way; this is a setting for tuning and tests.
void xpdfSpliceSetBaseAdoption(int minPages);
// How many outputs have taken an input's document as their own since the program started.
long long xpdfSpliceAdoptionCount();

// Whether the output gets an outline (true until set otherwise): one top-level entry per opened
// input that gave it pages, in output order, named after its file (without folder and extension),
// holding that input's own outline items whose pages were kept. Links, named destinations and page
// labels of the inputs are carried either way. False for an unknown handle.
bool xpdfSpliceSetOutlines(XpdfSpliceOutput output, bool outlines);

// What an output reports of its work, and how it is stopped. Called on the calling thread, with the
// library's lock held (it must not call back into the library): after every page that
// xpdfSpliceAddPages copies (stage kSpliceCopying, `done` = pages copied into this output so far),
// and while xpdfSpliceCloseOutput prepares and writes the file (stage kSpliceWriting, `done` = per
// cent written, 0 to 100). Returning false stops the work as soon as it can: xpdfSpliceAddPages
// then fails and leaves the output as it was before the call; xpdfSpliceCloseOutput fails, writes
// nothing and removes its temporary file.
inline constexpr int kSpliceCopying = 0;
inline constexpr int kSpliceWriting = 1;
using XpdfSpliceProgress = std::function<bool(int stage, long long done)>;

// Sets (or, with an empty function, clears) the progress report of an output. False for an
// unknown handle.
bool xpdfSpliceSetProgress(XpdfSpliceOutput output, XpdfSpliceProgress report);

// Diagnostics (not used by the program's save flow): warnings and the last error collected for a
// live handle, oldest first. Empty for an unknown handle.
std::vector<std::string> xpdfSpliceWarnings(const void* handle);

// Why the most recent failed call failed (empty when it gave no reason), in the underlying
// library's or the system's words; the save flow shows it below its message. Kept per thread, so
// a call made on another thread is asked there; a successful call does not clear it.
std::string xpdfSpliceLastError();

} // namespace plyfold
