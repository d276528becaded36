var g_p$201d=[{id:2011,s:0,ourl:'15/photo/201/full1.jpg',murl:'',surl:'',desc:'201¼×',t:1},{id:2012,s:0,ourl:'15/photo/201/full2.jpg',murl:'',surl:'',desc:'201ÒÒ',t:2}];
