/*基金或股票信息*/var fS_name = "易方达消费行业股票";var fS_code = "110022";
var Data_ACWorthTrend = [[1282233600000,1.0],[1282838400000,1.001]];
var Data_netWorthTrend = [{"x":1282233600000,"y":1.0,"equityReturn":0,"unitMoney":""},{"x":1282838400000,"y":1.001,"equityReturn":0.1,"unitMoney":""},{"x":1283443200000,"y":1.006,"equityReturn":0.4995,"unitMoney":""}];
var Data_currentFundManager = [{"id":"1"}];
