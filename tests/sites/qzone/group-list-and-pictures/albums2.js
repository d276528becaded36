_Callback({
   "code" : 0,
   "data" : {
      "album" : [
         {
            "coverurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/20002\/V1g4\/200?w5=1",
            "id" : "V1g4",
            "title" : "班级聚会",
            "photocnt" : 1200,
            "createtime" : 1356969603
         }
      ],
      "total" : 4
   }
})
