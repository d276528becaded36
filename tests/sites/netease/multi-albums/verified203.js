//#DWR-REPLY
dwr.engine._remoteHandleCallback('530377','0',"s3.ph.126.net/photo/lanmei/p203.js");
