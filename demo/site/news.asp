<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>新闻</title></head>
<body>
<p><a href="/index.asp">首页</a> | <a href="/news.asp?id=12">新闻</a> | <a href="/login.asp">登录</a> | <a href="/upload.asp">上传</a></p>
<h1>新闻</h1><p>Today's news. The query string never reaches a database here; the module checks it as if it would.</p>
</body></html>
