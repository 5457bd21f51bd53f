site=Creek
plot=3
