// The body checks run through the body notification, as the wildcard
// extension runs them: what is read, what blocks, and the bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "filter/module.h"
#include "filter/response.h"
#include "filter/testing/fake_context.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;

// A body generated on the fly: `size` bytes of `fill`, with `tail` as its
// last bytes; counts what the rules read.
struct GeneratedBody : BodySource {
  GeneratedBody(std::string head, std::size_t size, char fill, std::string tail)
      : head(std::move(head)), size(size), fill(fill), tail(std::move(tail)) {}
  std::size_t Read(char* buffer, std::size_t n) override {
    n = std::min(n, size - read);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = ByteAt(read + i);
    read += n;
    return n;
  }
  char ByteAt(std::size_t pos) const {
    if (pos < head.size()) return head[pos];
    if (pos >= size - tail.size()) return tail[pos - (size - tail.size())];
    return fill;
  }
  std::string head;
  std::size_t size;
  char fill;
  std::string tail;
  std::size_t read = 0;
};

FakeContext Post(const std::string& url, const std::string& content_type) {
  FakeContext ctx;
  ctx.variables = {{"HTTP_METHOD", "POST"},     {"HTTP_HOST", "localhost"},
                   {"HTTP_URL", url},           {"URL", url},
                   {"REMOTE_ADDR", "10.0.0.5"}, {"CONTENT_TYPE", content_type}};
  return ctx;
}

constexpr char kForm[] = "application/x-www-form-urlencoded";

TEST(OnRequestBody, AFormInjectionAtTheEndOfALargeBodyIsBlocked) {
  auto m = LoadDefaultModule();
  const std::string head = "content=";
  const std::size_t size = 900 * 1024;
  GeneratedBody benign(head, size, 'a', "&x=1");
  FakeContext ctx = Post("/guestbook.asp", kForm);
  EXPECT_EQ(RunBodyNotification(*m, ctx, benign).status, kStatusReqNextNotification);
  EXPECT_EQ(benign.read, size);

  GeneratedBody attack(head, size, 'a', "&id=1+union+select+password+from+admin");
  FakeContext ctx2 = Post("/guestbook.asp", kForm);
  const Verdict v = RunBodyNotification(*m, ctx2, attack);
  EXPECT_EQ(v.status, kStatusReqFinished);
  // The page shows the first 1,024 bytes of the body.
  EXPECT_EQ(ctx2.written,
            BuildBlockPage("POST请求存在注入语句!",
                           head + std::string(1024 - head.size(), 'a') + "...", "localhost"));
}

TEST(OnRequestBody, MultipartTextFieldsAreMatchedAsSent) {
  auto m = LoadDefaultModule();
  const std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\ntom\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"content\"\r\n\r\n"
      "1 union select password from admin\r\n--B--\r\n";
  GeneratedBody source(body, body.size(), ' ', "");
  FakeContext ctx = Post("/guestbook.asp", "multipart/form-data; boundary=B");
  EXPECT_EQ(RunBodyNotification(*m, ctx, source).status, kStatusReqFinished);

  const std::string benign =
      "--B\r\nContent-Disposition: form-data; name=\"content\"\r\n\r\n"
      "\xC4\xE3\xBA\xC3, select your size from the list\r\n--B--\r\n";
  GeneratedBody source2(benign, benign.size(), ' ', "");
  FakeContext ctx2 = Post("/guestbook.asp", "multipart/form-data; boundary=B");
  EXPECT_EQ(RunBodyNotification(*m, ctx2, source2).status, kStatusReqNextNotification);
}

TEST(OnRequestBody, ReadsNothingWhenNoCheckNeedsTheBody) {
  auto m = LoadDefaultModule();
  const std::pair<const char*, const char*> cases[] = {
      {"/a.htm", kForm},                       // not a script
      {"/a.asp", "application/octet-stream"},  // not a form
      {"/a.asp", "text/xml"},
  };
  for (const auto& [url, type] : cases) {
    GeneratedBody source("", 1000, 'x', "");
    FakeContext ctx = Post(url, type);
    EXPECT_EQ(RunBodyNotification(*m, ctx, source).status, kStatusReqNextNotification);
    EXPECT_EQ(source.read, 0u) << url << " " << type;
  }
}

TEST(OnRequestBody, ReadsNoFurtherThanTheCap) {
  auto m = LoadDefaultModule();
  // An injection past the cap is not read; the host hands it on unread.
  const std::size_t size = kBodyInspectionCap + 1000;
  GeneratedBody form("content=", size, 'a', "&id=1+union+select+password+from+admin");
  FakeContext ctx = Post("/a.asp", kForm);
  EXPECT_EQ(RunBodyNotification(*m, ctx, form).status, kStatusReqNextNotification);
  EXPECT_EQ(form.read, kBodyInspectionCap);

  // A 100 MB upload: the parts within the cap are inspected, the rest unread.
  GeneratedBody upload(
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.zip\"\r\n\r\nPK",
      100u * 1024 * 1024, 'z', "\r\n--B--\r\n");
  FakeContext ctx2 = Post("/upload.asp", "multipart/form-data; boundary=B");
  EXPECT_EQ(RunBodyNotification(*m, ctx2, upload).status, kStatusReqNextNotification);
  EXPECT_EQ(upload.read, kBodyInspectionCap);
}

TEST(OnRequestBody, BackDoorCodeDeepInAnImageIsRefusedInAnyReadSize) {
  auto m = LoadDefaultModule();
  const std::string head =
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"photo.gif\"\r\n\r\nGIF89a";
  const std::string code = "<?php @eval($_POST['x']);?>\r\n--B--\r\n";
  for (std::size_t size : {std::size_t{4096}, std::size_t{2} * 1024 * 1024 + 17}) {
    GeneratedBody body(head, size, '\x01', code);
    FakeContext ctx = Post("/upload.asp", "multipart/form-data; boundary=B");
    EXPECT_EQ(RunBodyNotification(*m, ctx, body).status, kStatusReqFinished) << size;
    EXPECT_EQ(ctx.written, BuildBlockPage("禁止上传Web后门!", "photo.gif", "localhost"));
  }
  GeneratedBody clean(head, 2 * 1024 * 1024, '\x01', "\r\n--B--\r\n");
  FakeContext ctx = Post("/upload.asp", "multipart/form-data; boundary=B");
  EXPECT_EQ(RunBodyNotification(*m, ctx, clean).status, kStatusReqNextNotification);
}

}  // namespace
}  // namespace zelk::filter
