_Callback({
   "code" : 0,
   "data" : {
      "photoList" : [
         {
            "batchId" : "1001",
            "name" : "º£±ß",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V1\/big1.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/a\/small1.jpg",
         },
         {
            "batchId" : "1002",
            "name" : "É½¶¥",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/a\/small2.jpg",
         }
      ]
   }
})
