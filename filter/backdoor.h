// Uploaded web back doors (the DenyShell switch): the file names that a web
// server would run as a script, and a streaming scanner that looks for server
// script code which runs request input or system commands, wherever it sits in
// an uploaded file (after an image header, megabytes in).
//
// Both are pure functions of the bytes; the multipart parser feeds them one
// file part at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelk::filter {

// True when an upload under this name could be run as a server script. The
// name is the Content-Disposition filename as sent (GBK bytes, possibly a whole
// client path): only its last component counts, cut after the last '/' or '\'
// (a '\' that is the second byte of a GBK character is not a separator), with a
// leading drive ("C:") dropped.
//
// The name is refused when either of two readings ends in a script extension:
//  - the name as the file system stores it: up to the first ':' (what follows
//    names a stream: "shell.asp:.jpg" creates shell.asp), so "x.jpg;.asp" is an
//    .asp file for any server without IIS 6's ';' reading;
//  - the name as IIS 6 maps it: that, cut at the first ';' ("shell.asp;.jpg"
//    runs as ASP).
// Each reading first loses trailing dots, spaces and "::$DATA", as Windows
// does, so "x.asp.", "x.asp " and "x.ASP::$DATA" are all x.asp.
//
// Only the last extension counts, as with IIS: "a.aspx.jpg" is an image and
// passes. Extensions are compared whole, in any ASCII letter case, against
// kServerScriptExtensions; the configuration files that make other names run
// as scripts (".htaccess", ".user.ini", "web.config", "php.ini") are refused
// by name.
bool IsServerScriptFileName(std::string_view file_name);

// The refused extensions, '|'-separated, without dots: IIS's script maps
// (ASP, ASP.NET, server-side includes, the old ISAPI handlers), PHP with its
// numbered and archive forms, JSP, and Perl CGI.
inline constexpr std::string_view kServerScriptExtensions =
    "asp|asa|aspx|ashx|asmx|ascx|asax|axd|cer|cdx|cshtml|vbhtml|soap|rem|"
    "shtml|shtm|stm|idc|htr|htw|ida|idq|printer|"
    "php|php2|php3|php4|php5|php6|php7|php8|pht|phtm|phtml|phar|phps|"
    "jsp|jspx|jspf|jsw|jsv|jhtml|"
    "pl|plx|cgi";

// The scanner reads the stream in blocks of kBackdoorBlockSize bytes, each
// searched together with the kBackdoorOverlap bytes before it. Blocks start at
// fixed offsets of the file, so the verdict depends only on the bytes, never
// on how they were split across Feed calls.
//
// Code is looked for in stretches: from a script opener ("<%", "<?", "<jsp:",
// "<script ... runat=server>" or "language=php") over text bytes up to the
// next control byte (NUL, 0x01-0x08, 0x0E-0x1F, DEL). Random data has one of
// those every dozen bytes, so the "code" after a chance opener in an image or
// archive ends at once; a stretch that does go on past a block is followed
// into the next one, however long it is.
//
// What the overlap means: a code shape (from the call to the request input it
// runs, say) of up to kBackdoorOverlap bytes is always seen whole, whatever
// its offset. A longer one (a shape padded with 16 KB of blanks) is found
// only when it happens to fall inside one block and its overlap. The shapes
// themselves are bounded well below that (a few hundred bytes), so only
// padding of unbounded blanks can reach the limit.
inline constexpr std::size_t kBackdoorOverlap = 16 * 1024;
inline constexpr std::size_t kBackdoorBlockSize = 64 * 1024;

// Scans one uploaded file part for back-door code: ASP, ASP.NET, PHP or JSP
// that evaluates or executes request input, runs system commands, or hides
// its code the way back doors do (script encoding, UTF-7, packed and escaped
// PHP). A code shape counts only after a script opener; an opener alone never
// does, so the "<%" and "<?" that turn up by chance in images and archives
// are harmless.
//
// Memory stays under kBackdoorOverlap + kBackdoorBlockSize bytes whatever the
// file's size. Once back-door code is found, further input is not read.
// Movable, not copyable; not thread-safe (one scanner per file part).
class BackdoorScanner {
 public:
  BackdoorScanner();
  BackdoorScanner(BackdoorScanner&&) noexcept = default;
  BackdoorScanner& operator=(BackdoorScanner&&) noexcept = default;
  BackdoorScanner(const BackdoorScanner&) = delete;
  BackdoorScanner& operator=(const BackdoorScanner&) = delete;

  // The next bytes of the file, in order; any size from one byte up.
  void Feed(std::string_view bytes);

  // Back-door code was seen in the bytes fed so far. Searches the block in
  // progress when bytes came since the last call: at most one block and its
  // overlap, so asking after every Feed of a few bytes costs one such search
  // each time; ask after large pieces or at the end of the part.
  bool found() const;

 private:
  // The overlap (the last kBackdoorOverlap bytes of the previous block, or
  // fewer at the start of the file) followed by the block in progress.
  std::string buffer_;
  std::size_t overlap_ = 0;  // bytes of buffer_ that belong to the previous block
  std::uint64_t fed_ = 0;    // bytes fed in all
  bool found_ = false;       // in a completed block
  bool in_code_ = false;     // buffer_[0] lies in a stretch of code begun before it

  // The verdict on the block in progress, valid while checked_at_ == fed_.
  mutable std::uint64_t checked_at_ = 0;
  mutable bool partial_found_ = false;
};

// The back-door pattern text (PCRE, extended syntax with comments), as
// compiled; for tests and review.
std::string_view BackdoorPatternText();

}  // namespace zelk::filter
