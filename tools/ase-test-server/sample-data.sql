-- Sample tables for trying the program without an ASE server:
--   ase-test-server --data ./ase-data --login sa:secret --database sales \
--       --init tools/ase-test-server/sample-data.sql
-- Run only when the database has no tables yet.
create table [Customers]([CustomerID] int, [Name] varchar(60), [City] varchar(40) null,
  [Country] char(2), [Active] bit, [CreditLimit] money null, [Joined] datetime null)
go
insert into [Customers] values(1, 'Alfreds Futterkiste', 'Berlin', 'DE', 1, 5000.00, '2019-03-14 09:30:00')
insert into [Customers] values(2, 'Ana Trujillo Emparedados', 'México D.F.', 'MX', 1, 2500.50, '2020-07-01 00:00:00')
insert into [Customers] values(3, 'Around the Horn', 'London', 'GB', 0, NULL, '2018-11-23 16:45:00')
insert into [Customers] values(4, 'Bergvik Snabbköp', 'Luleå', 'SE', 1, 12000.00, NULL)
insert into [Customers] values(5, 'O''Brien & Sons', NULL, 'IE', 1, 750.25, '2021-01-05 08:00:00')
go
create table [Products]([ProductID] int, [ProductName] univarchar(40), [UnitPrice] numeric(10,2),
  [InStock] smallint, [Weight] real null, [Discontinued] bit, [Notes] text null)
go
insert into [Products] values(1, N'Chai', 18.00, 39, 0.5, 0, 'Tea from India')
insert into [Products] values(2, N'Grüner Tee 緑茶', 19.50, 17, 0.25, 0, NULL)
insert into [Products] values(3, N'Aniseed Syrup', 10.00, 0, NULL, 1, 'No longer sold')
insert into [Products] values(4, N'Crème brûlée mix', 21.35, 120, 1.2, 0, '')
go
create table [Orders]([OrderID] int, [CustomerID] int, [OrderDate] date, [Shipped] smalldatetime null,
  [Total] money, [Quantity] bigint, [Reference] varbinary(8) null)
go
insert into [Orders] values(10248, 1, '2024-01-04', '2024-01-06 10:15', 440.00, 12, 0x0A0B0C)
insert into [Orders] values(10249, 2, '2024-01-05', NULL, 1863.40, 40, NULL)
insert into [Orders] values(10250, 5, '2024-01-08', '2024-01-12 14:00', 1552.60, 3, 0xFF)
insert into [Orders] values(10251, 4, '2024-02-29', '2024-03-02 09:00', 654.06, 7, NULL)
go
