// The block page and the send-response notification.
#pragma once

#include <string>
#include <string_view>

#include "filter/context.h"
#include "filter/settings.h"

namespace zelk::filter {

inline constexpr char kVendorUrl[] = "http://www.zelkwaf.com/";

// Escapes & < > " ' as &amp; &lt; &gt; &quot; &#39;; any other byte is kept.
// Safe on GBK text: no GBK trail byte is one of these five.
std::string EscapeHtml(std::string_view text);

// The fixed GBK page with the headline, the reason and the home-page host
// inserted (each HTML-escaped, so request text cannot become markup).
std::string BuildBlockPage(std::string_view headline, std::string_view reason,
                           std::string_view host);

// Rewrites the identity headers (DenyIISVER) and replaces a 403 by a 404
// page and a 500 by a 200 page (Deny403Err or Deny500Err).
std::uint32_t OnSendResponse(const FilterSettings& settings, FilterContext& ctx);

}  // namespace zelk::filter
