_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/b1",
            "name" : "运动会1",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/raw1\/200?w5=1"
         },
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/b2",
            "name" : "运动会2",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/raw2\/200?w5=1"
         }
      ]
   }
})
