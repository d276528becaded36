_Callback({
   "code" : 0,
   "data" : {
      "photoList" : [
         {
            "batchId" : "V20b1",
            "name" : "V20bͼ1",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20b\/big1.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20b\/a\/small1.jpg"
         },
         {
            "batchId" : "V20b2",
            "name" : "V20bͼ2",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20b\/big2.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20b\/a\/small2.jpg"
         }
      ]
   }
})
