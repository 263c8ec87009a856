#!/usr/bin/perl
# Perl DBI with DBD::ODBC on a seeded local node: a block, its transactions and
# a receipt's logs through the driver equal the node's own JSON answers.
# Arguments: the chain summary JSON file of seed_chain.py (DSN "quill_chain"
# comes from the environment's ODBCINI).
use strict;
use warnings;
use DBI;
use JSON::PP;
use HTTP::Tiny;

my $summary = do { local $/; open my $f, '<', $ARGV[0] or die $!; decode_json(<$f>) };
my $failures = 0;

sub check {
  my ($name, $ok, $detail) = @_;
  print(($ok ? "ok   " : "FAIL ") . "perl DBI $name" . ($ok ? "" : ": $detail") . "\n");
  $failures++ unless $ok;
}

sub node {
  my ($method, $params) = @_;
  my $body = encode_json({jsonrpc => "2.0", id => 1, method => $method, params => $params});
  my $reply = HTTP::Tiny->new->post($summary->{url},
    {headers => {'Content-Type' => 'application/json'}, content => $body});
  return decode_json($reply->{content})->{result};
}

my $number = $summary->{blocks}{call}{number};
my $call = $summary->{transactions}{call};
my $block = node("eth_getBlockByNumber", [$number, JSON::PP::true]);
my $receipt = node("eth_getTransactionReceipt", [$call]);

my $dbh = DBI->connect("dbi:ODBC:quill_chain", "", "", {RaiseError => 1, PrintError => 0});
my $row = $dbh->selectrow_arrayref(
  "SELECT number, hash FROM getBlockByNumber WHERE blockNumber = '$number' " .
  "AND transactionDetailsFlag = 'false'");
check("block", $row && $row->[0] eq $block->{number} && $row->[1] eq $block->{hash},
  join(",", @{$row || []}));

my $sth = $dbh->prepare(
  "SELECT transactionsHash, transactionsValue FROM getBlockByNumber_transactions " .
  "WHERE blockNumber = ? AND transactionDetailsFlag = 'true'");
$sth->execute($number);
my @got = map { "$_->[0]=$_->[1]" } @{$sth->fetchall_arrayref};
my @want = map { "$_->{hash}=$_->{value}" } @{$block->{transactions}};
check("transactions", "@got" eq "@want", "@got vs @want");

my $logs = $dbh->selectall_arrayref(
  "SELECT logsAddress, logsData FROM getTransactionReceipt_Logs WHERE transactionHash = '$call'");
my @got_logs = map { "$_->[0]:$_->[1]" } @$logs;
my @want_logs = map { "$_->{address}:$_->{data}" } @{$receipt->{logs}};
check("receipt logs", "@got_logs" eq "@want_logs", "@got_logs vs @want_logs");
# Parameters: a balance read with two markers.
my $account = $summary->{accounts}[0];
my ($balance) = $dbh->selectrow_array(
  "SELECT result FROM getBalance WHERE address = ? AND blockParameter = ?", undef,
  $account, "latest");
my $want_balance = node("eth_getBalance", [$account, "latest"]);
check("parameters", defined $balance && $balance eq $want_balance, $balance // "undef");

# The catalog: table_info lists every table, column_info a table's columns in order.
my %catalog;
my $tsv = __FILE__ =~ s{[^/]*$}{../data/eth_catalog_tables.tsv}r;
open my $t, '<', $tsv or die "$tsv: $!";
while (my $line = <$t>) {
  next if $line =~ /^#/ || $line !~ /\S/;
  chomp $line;
  my @f = split /\t/, $line;
  $catalog{$f[0]} = [map { (split /:/)[0] } split /,/, $f[5]];
}
# The node's tables are read-only and listed as views.
my $tables = $dbh->table_info('', '', '%', 'TABLE,VIEW')->fetchall_arrayref({});
my @names = sort map { $_->{TABLE_NAME} } @$tables;
check("table_info", "@names" eq join(" ", sort keys %catalog), scalar(@names) . " tables");
my $columns = $dbh->column_info(undef, undef, 'getBalance', '%')->fetchall_arrayref({});
my @column_names = map { $_->{COLUMN_NAME} } @$columns;
check("column_info", "@column_names" eq "@{$catalog{getBalance}}", "@column_names");
$dbh->disconnect;
exit($failures ? 1 : 0);
