<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>上传</title></head>
<body>
<p><a href="/index.asp">首页</a> | <a href="/news.asp?id=12">新闻</a> | <a href="/login.asp">登录</a> | <a href="/upload.asp">上传</a></p>
<h1>上传</h1>
<form method="post" action="/upload.asp" enctype="multipart/form-data">
<p>Title <input name="title"> File <input name="file" type="file"> <input type="submit" value="上传"></p>
</form>
<p>Images pass; a file named <code>shell.asp</code> or <code>1.asp;.jpg</code>, or an image carrying script, is refused.</p>
</body></html>
