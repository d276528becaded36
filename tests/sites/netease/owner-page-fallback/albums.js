var g_a$9={};g_a$9.d=[{id:201,name:'ɽ',s:0,desc:'',st:1,au:0,count:2,t:1,curl:'4/photo/m/c.jpg',purl:'s3.ph.126.net/photo/walker/p201.js'}];
