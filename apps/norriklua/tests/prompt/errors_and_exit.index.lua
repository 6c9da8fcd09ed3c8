print("from index", ...)
counter = 41
error("index failed")
