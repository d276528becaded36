_Callback({
   "code" : 0,
   "data" : {
      "photos" : [
         {
            "bheight" : 640,
            "burl" : "http:\/\/qungz.photo.store.qq.com\/qun\/V1g1\/b3",
            "name" : "老师"
         },
         {
            "bheight" : 480,
            "burl" : "",
            "name" : "无地址"
         }
      ]
   }
})
