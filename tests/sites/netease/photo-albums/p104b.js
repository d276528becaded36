var g_p$104d=[{id:41,s:0,ourl:'5/photo/k/full41.jpg',murl:'',surl:'',desc:'√ÿ√‹',t:1}];
