_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/b1",
            "name" : "春游1",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/raw1\/200?w5=1"
         },
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/b2",
            "name" : "春游2",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/raw2\/200?w5=1"
         }
      ]
   }
})
