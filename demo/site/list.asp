<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>list.asp</title></head>
<body><p><a href="/index.asp">首页</a></p><h1>list.asp</h1><p>A static stand-in for the script of this name.</p></body></html>
