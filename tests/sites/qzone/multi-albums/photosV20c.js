_Callback({
   "code" : 0,
   "data" : {
      "photoList" : [
         {
            "batchId" : "V20c1",
            "name" : "V20cͼ1",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20c\/big1.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20c\/a\/small1.jpg"
         },
         {
            "batchId" : "V20c2",
            "name" : "V20cͼ2",
            "origin_url" : "http:\/\/r.photo.qq.com\/psb?\/V20c\/big2.jpg",
            "pre" : "http:\/\/b.photo.qq.com\/psb?\/V20c\/a\/small2.jpg"
         }
      ]
   }
})
