_Callback({"code":-3000,"subcode":-4001,"message":"对不起，您尚未登录","data":{}})
