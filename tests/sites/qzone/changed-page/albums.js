_Callback({
   "code" : 0,
   "data" : {
      "albumListModeSort" : [
         {
            "albumId" : "V10a",
            "name" : "旅行.2019",
            "pre" : "http:\/\/b.photo.qq.com\/a\/V10a\/cover.jpg",
            "priv" : 1,
            "total" : 12,
         },
         {
            "albumId" : "V10b",
            "name" : "旅行.2019",
            "pre" : "",
            "priv" : 3,
            "total" : 0,
         },
         {
            "albumId" : "V10c",
            "name" : "",
            "priv" : 1,
            "total" : 9,
         },
         {
            "albumId" : "V10d",
            "name" : "家人 &amp; 朋友",
            "pre" : "http:\/\/b.photo.qq.com\/a\/V10d\/cover.jpg",
            "priv" : 4,
            "total" : 5,
         },
         {
            "albumId" : "V10e",
            "name" : "密码",
            "pre" : "",
            "priv" : 5,
            "total" : 3,
         },
         {
            "albumId" : "V10f",
            "name" : "同学",
            "pre" : "",
            "priv" : 6,
            "total" : 1234,
         }
      ]
   }
})
