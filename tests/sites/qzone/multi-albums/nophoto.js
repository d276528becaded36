_Callback({
   "code" : 0,
   "data" : {
      "photoList" : []
   }
})
