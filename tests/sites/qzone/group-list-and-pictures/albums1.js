_Callback({
   "code" : 0,
   "data" : {
      "album" : [
         {
            "coverurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/20002\/V1g1\/200?w5=1",
            "id" : "V1g1",
            "title" : "班级聚会",
            "photocnt" : 24,
            "createtime" : 1356969600
         },
         {
            "coverurl" : "",
            "id" : "V1g2",
            "title" : "",
            "photocnt" : 3,
            "createtime" : 1356969601
         },
         {
            "coverurl" : "http:\/\/qungz.photo.store.qq.com\/qun\/20002\/V1g3\/200?w5=1",
            "id" : "V1g3",
            "title" : "毕业/2013.6",
            "photocnt" : 0,
            "createtime" : 1356969602
         }
      ],
      "total" : 4
   }
})
