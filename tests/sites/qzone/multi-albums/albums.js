_Callback({
   "code" : 0,
   "data" : {
      "albumListModeSort" : [
         {
            "id" : "V20a",
            "name" : "º£Ì²",
            "pre" : "http:\/\/b.photo.qq.com\/a\/V20a\/cover.jpg",
            "priv" : 1,
            "total" : 2,
            "createtime" : 1356969600
         },
         {
            "id" : "V20b",
            "name" : "µÇÉ½",
            "pre" : "http:\/\/b.photo.qq.com\/a\/V20b\/cover.jpg",
            "priv" : 1,
            "total" : 2,
            "createtime" : 1356969600
         },
         {
            "id" : "V20c",
            "name" : "¾Û²Í",
            "pre" : "http:\/\/b.photo.qq.com\/a\/V20c\/cover.jpg",
            "priv" : 4,
            "total" : 2,
            "createtime" : 1356969600
         }
      ]
   }
})
