<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>演示站点</title></head>
<body>
<p><a href="/index.asp">首页</a> | <a href="/news.asp?id=12">新闻</a> | <a href="/login.asp">登录</a> | <a href="/upload.asp">上传</a></p>
<h1>演示站点</h1>
<p>A small ASP-style site served by nginx with the ZelkWAF module in front of every request.</p>
<img src="/images/logo.gif" alt=""> <img src="/images/banner.png" alt="banner">
<ul>
<li><a href="/news.asp?id=12">/news.asp?id=12</a> (passes)</li>
<li><a href="/news.asp?id=1%20union%20select%201,2">/news.asp?id=1 union select 1,2</a> (blocked: injection in the query)</li>
<li><a href="/db/data.mdb">/db/data.mdb</a> (blocked: database download)</li>
<li><a href="/secret/">/secret/</a> (nginx answers 403; the module masks it)</li>
<li><a href="/broken.asp">/broken.asp</a> (answers 500; the module masks it)</li>
</ul>
</body></html>
