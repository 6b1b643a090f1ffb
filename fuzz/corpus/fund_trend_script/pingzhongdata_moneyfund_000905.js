/*货币基金*/var ishb=true;var fS_name = "鹏华安盈宝货币A";var fS_code = "000905";
var Data_millionCopiesIncome = [[1694448000000,0.5807],[1694534400000,0.5809],[1694620800000,-0.5811]];
var Data_sevenDaysYearIncome = [[1694448000000,2.114],[1694534400000,2.115]];
