_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/b3",
            "name" : "春游3",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g2\/raw3\/200?w5=1"
         }
      ]
   }
})
