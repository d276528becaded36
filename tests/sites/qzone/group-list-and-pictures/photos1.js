_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/b1",
            "hdurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/hd1\/0",
            "name" : "合影",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/raw1\/200?w5=1"
         },
         {
            "bheight" : 900,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/b2",
            "hdurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/200\/hd2.jpg",
            "name" : "合影",
            "rawurl" : ""
         }
      ]
   }
})
