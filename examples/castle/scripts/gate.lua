print("The castle gate opens.")
