#include "filter/body.h"

#include <cstdint>

#include "filter/bestfit936.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '*' ||
         c == '-' || c == '_';
}

// The value of `key=` in a header text: the first occurrence (any case) not
// preceded by a token character, so "name=" does not find "filename=".
// Quoted values run to the next quote (or the line end); others to ';', a
// blank or the line end.
std::optional<std::string> FindParameter(std::string_view text, std::string_view key) {
  const std::string lower = ToAsciiLower(text);
  const std::string needle = ToAsciiLower(key) + "=";
  for (std::size_t pos = lower.find(needle); pos != std::string::npos;
       pos = lower.find(needle, pos + 1)) {
    if (pos > 0 && IsTokenChar(text[pos - 1])) continue;
    std::string_view rest = text.substr(pos + needle.size());
    if (!rest.empty() && rest.front() == '"') {
      rest.remove_prefix(1);
      const std::size_t end = rest.find_first_of("\"\r\n");
      return std::string(rest.substr(0, end));
    }
    const std::size_t end = rest.find_first_of("; \t\r\n");
    return std::string(rest.substr(0, end));
  }
  return std::nullopt;
}

}  // namespace

std::string MediaTypeOf(std::string_view content_type) {
  return ToAsciiLower(TrimBlanks(content_type.substr(0, content_type.find(';'))));
}

std::string BoundaryOf(std::string_view content_type) {
  const std::size_t semicolon = content_type.find(';');
  if (semicolon == std::string_view::npos) return std::string();
  return FindParameter(content_type.substr(semicolon), "boundary").value_or(std::string());
}

std::string UnescapeJsonStrings(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (json[i] != '\\' || i + 1 == json.size()) {
      out.push_back(json[i]);
      continue;
    }
    const char e = json[i + 1];
    const char* simple = nullptr;
    switch (e) {
      case '"':
        simple = "\"";
        break;
      case '\\':
        simple = "\\";
        break;
      case '/':
        simple = "/";
        break;
      case 'b':
        simple = "\b";
        break;
      case 'f':
        simple = "\f";
        break;
      case 'n':
        simple = "\n";
        break;
      case 'r':
        simple = "\r";
        break;
      case 't':
        simple = "\t";
        break;
      default:
        break;
    }
    if (simple != nullptr) {
      out += simple;
      ++i;
      continue;
    }
    const long unit = e == 'u' ? HexNumberAt(json, i + 2, 4) : -1;
    if (unit < 0) {
      out.push_back(json[i]);  // not an escape: kept as it stands
      continue;
    }
    i += 5;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 2 < json.size() && json[i + 1] == '\\' &&
        json[i + 2] == 'u') {
      const long low = HexNumberAt(json, i + 3, 4);
      if (low >= 0xDC00 && low <= 0xDFFF) i += 6;  // a pair: one character outside GBK
    }
    if (unit != 0) out += BestFit936(static_cast<std::uint16_t>(unit));
  }
  return out;
}

PartHeaders ParsePartHeaders(std::string_view block) {
  PartHeaders h;
  h.name = FindParameter(block, "name").value_or(std::string());
  h.file_name = FindParameter(block, "filename");
  return h;
}

MultipartParser::MultipartParser(std::string boundary, Handler& handler)
    : delimiter_("--" + std::move(boundary)), handler_(handler) {}

bool MultipartParser::FindDelimiter(std::size_t from, std::size_t* at, std::size_t* length) const {
  for (std::size_t pos = pending_.find(delimiter_, from); pos != std::string::npos;
       pos = pending_.find(delimiter_, pos + 1)) {
    std::size_t start;
    if (pos == 0 && line_start_) {
      // The body opens with the delimiter, or a part ends right after its
      // blank line, whose line end doubles as the delimiter's. Anywhere else
      // a delimiter needs its own line end before it, however much of the
      // body before it was already handed on or passed over.
      start = 0;
    } else if (pos > 0 && pending_[pos - 1] == '\n') {
      start = pos - 1;
      if (start > 0 && pending_[start - 1] == '\r') --start;
    } else {
      continue;
    }
    *at = start;
    *length = pos + delimiter_.size() - start;
    return true;
  }
  return false;
}

void MultipartParser::Feed(std::string_view bytes) {
  if (state_ == State::kEpilogue) return;
  if (state_ == State::kOpaque) {
    handler_.PartData(bytes);
    return;
  }
  pending_.append(bytes.data(), bytes.size());
  Run();
}

void MultipartParser::Run() {
  for (;;) {
    switch (state_) {
      case State::kPreamble:
      case State::kData: {
        std::size_t at = 0, length = 0;
        if (!FindDelimiter(0, &at, &length)) {
          // Keep what could still be the start of a delimiter split across
          // pieces; hand the rest on.
          const std::size_t keep = delimiter_.size() + 2;
          if (pending_.size() > keep) {
            const std::size_t give = pending_.size() - keep;
            if (state_ == State::kData) {
              handler_.PartData(std::string_view(pending_).substr(0, give));
            }
            pending_.erase(0, give);
            line_start_ = false;
          }
          return;
        }
        // After the delimiter: "--" closes the body, else the rest of the line
        // (transport padding) and then the next part's headers.
        const std::size_t after = at + length;
        if (pending_.size() < after + 2) return;
        if (state_ == State::kData) {
          handler_.PartData(std::string_view(pending_).substr(0, at));
          handler_.EndPart();
          part_open_ = false;
        }
        if (pending_.compare(after, 2, "--") == 0) {
          state_ = State::kEpilogue;
          pending_.clear();
          return;
        }
        // Transport padding is bounded by kMaxPaddingLine whether or not its
        // line end has arrived yet, so the parts do not depend on the pieces.
        std::size_t line_end = pending_.find('\n', after);
        if (line_end != std::string::npos && line_end - after > kMaxPaddingLine) {
          line_end = std::string::npos;
        }
        if (line_end == std::string::npos) {
          if (pending_.size() - after > kMaxPaddingLine) {
            malformed_ = true;
            pending_.erase(0, after);
            state_ = State::kHeaders;
            continue;
          }
          // Wait for the line end; the delimiter is found again next time.
          if (state_ == State::kData) {
            pending_.erase(0, at);
            state_ = State::kPreamble;
            line_start_ = true;
          }
          return;
        }
        pending_.erase(0, line_end + 1);
        state_ = State::kHeaders;
        continue;
      }
      case State::kHeaders: {
        std::size_t block_end = std::string::npos, skip = 0;
        if (pending_.compare(0, 2, "\r\n") == 0) {
          block_end = 0, skip = 2;
        } else if (pending_.compare(0, 1, "\n") == 0) {
          block_end = 0, skip = 1;
        } else if (const std::size_t crlf = pending_.find("\n\r\n"); crlf != std::string::npos) {
          block_end = crlf + 1, skip = 2;
        }
        if (const std::size_t lf = pending_.find("\n\n");
            lf != std::string::npos && (block_end == std::string::npos || lf + 1 < block_end)) {
          block_end = lf + 1, skip = 1;
        }
        // A block that ends past the limit is too long even when its end is
        // already here: the verdict must not depend on how the body was cut.
        if (block_end != std::string::npos && block_end > kMaxHeaderBlock) {
          block_end = std::string::npos;
        }
        if (block_end == std::string::npos) {
          if (pending_.size() <= kMaxHeaderBlock) return;
          // Headers without end: what follows is read as the data of one
          // last part, so nothing escapes the content checks.
          malformed_ = true;
          PartHeaders headers =
              ParsePartHeaders(std::string_view(pending_).substr(0, kMaxHeaderBlock));
          if (!headers.file_name) headers.file_name.emplace();  // content of unknown kind
          handler_.BeginPart(headers);
          part_open_ = true;
          state_ = State::kOpaque;
          handler_.PartData(pending_);
          pending_.clear();
          return;
        }
        handler_.BeginPart(ParsePartHeaders(std::string_view(pending_).substr(0, block_end)));
        part_open_ = true;
        line_start_ = true;
        pending_.erase(0, block_end + skip);
        state_ = State::kData;
        continue;
      }
      case State::kEpilogue:
        pending_.clear();
        return;
      case State::kOpaque:
        handler_.PartData(pending_);
        pending_.clear();
        return;
    }
  }
}

void MultipartParser::Finish() {
  switch (state_) {
    case State::kData:
    case State::kOpaque:
      if (!pending_.empty()) handler_.PartData(pending_);
      break;
    case State::kHeaders:
      // Cut off inside a header block: what there is still names the part.
      if (!pending_.empty()) {
        handler_.BeginPart(ParsePartHeaders(pending_));
        part_open_ = true;
      }
      break;
    default:
      break;
  }
  pending_.clear();
  if (part_open_) handler_.EndPart();
  part_open_ = false;
  state_ = State::kEpilogue;
}

}  // namespace zelk::filter
