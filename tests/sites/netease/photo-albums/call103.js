//#DWR-INSERT
//#DWR-REPLY
dwr.engine._remoteHandleCallback('530377','0',"s2.ph.126.net/photo/someone/p103.js");
