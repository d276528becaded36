_Callback({
   "code" : 0,
   "data" : {
      "album" : [
         {
            "coverurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/20003\/V2g1\/200?w5=1",
            "id" : "V2g1",
            "title" : "运动会",
            "photocnt" : 3,
            "createtime" : 1356969600
         },
         {
            "coverurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/20003\/V2g2\/200?w5=1",
            "id" : "V2g2",
            "title" : "春游",
            "photocnt" : 3,
            "createtime" : 1356969600
         }
      ],
      "total" : 2
   }
})
