//#DWR-REPLY
dwr.engine._remoteHandleCallback('530377','0',"photo.163.com/someone/nothing");
