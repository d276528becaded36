var g_p$202d=[{id:2021,s:0,ourl:'15/photo/202/full1.jpg',murl:'',surl:'',desc:'202¼×',t:1},{id:2022,s:0,ourl:'15/photo/202/full2.jpg',murl:'',surl:'',desc:'202ÒÒ',t:2}];
