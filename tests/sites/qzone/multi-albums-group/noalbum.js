_Callback({
   "code" : 0,
   "data" : {
      "album" : [],
      "total" : 2
   }
})
