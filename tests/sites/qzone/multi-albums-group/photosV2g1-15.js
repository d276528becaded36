_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 1200,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/b3",
            "name" : "运动会3",
            "rawurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V2g1\/raw3\/200?w5=1"
         }
      ]
   }
})
