<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>登录</title></head>
<body>
<p><a href="/index.asp">首页</a> | <a href="/news.asp?id=12">新闻</a> | <a href="/login.asp">登录</a> | <a href="/upload.asp">上传</a></p>
<h1>登录</h1>
<form method="post" action="/login.asp">
<p>User <input name="user"> Password <input name="pass" type="password"> <input type="submit" value="登录"></p>
</form>
<p>Try the user name <code>admin'--</code>: the form body is checked when nginx has read it.</p>
</body></html>
