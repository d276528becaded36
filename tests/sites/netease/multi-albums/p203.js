var g_p$203d=[{id:2031,s:0,ourl:'15/photo/203/full1.jpg',murl:'',surl:'',desc:'203¼×',t:1},{id:2032,s:0,ourl:'15/photo/203/full2.jpg',murl:'',surl:'',desc:'203ÒÒ',t:2}];
