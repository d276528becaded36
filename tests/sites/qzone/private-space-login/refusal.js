_Callback({
   "code" : -3000,
   "msg" : "对不起，您没有访问权限",
   "data" : {}
})