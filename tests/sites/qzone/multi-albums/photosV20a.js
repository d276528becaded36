_Callback({
   "code" : 0,
   "data" : {
      "photoList" : [
         {
            "batchId" : "V20a1",
            "name" : "V20aͼ1",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20a\/big1.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20a\/a\/small1.jpg"
         },
         {
            "batchId" : "V20a2",
            "name" : "V20aͼ2",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20a\/big2.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20a\/a\/small2.jpg"
         }
      ]
   }
})
