-- The sample database of the demo: a small shop of four tables with a foreign
-- key chain, mixed column types, non-ASCII text and NULLs, about 6,400 rows,
-- generated from MariaDB's sequence tables so that every load gives the same data.
SET NAMES utf8mb4;
DROP DATABASE IF EXISTS qvt_sample;
CREATE DATABASE qvt_sample CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE qvt_sample;

CREATE TABLE customers (
  id INT PRIMARY KEY,
  name VARCHAR(80) NOT NULL,
  city VARCHAR(40) NOT NULL,
  email VARCHAR(120) NULL,
  signed_up DATE NOT NULL,
  credit DECIMAL(10,2) NOT NULL,
  vip BOOLEAN NOT NULL
) ENGINE=InnoDB;

CREATE TABLE products (
  id INT PRIMARY KEY,
  title VARCHAR(100) NOT NULL,
  price DECIMAL(10,2) NOT NULL,
  weight_kg DOUBLE NOT NULL,
  description TEXT NULL,
  added DATETIME NOT NULL
) ENGINE=InnoDB;

CREATE TABLE orders (
  id INT PRIMARY KEY,
  customer_id INT NOT NULL,
  ordered_at DATETIME NOT NULL,
  status ENUM('new','paid','shipped','cancelled') NOT NULL,
  note VARCHAR(200) NULL,
  CONSTRAINT fk_orders_customer FOREIGN KEY (customer_id) REFERENCES customers (id)
) ENGINE=InnoDB;

CREATE TABLE order_items (
  order_id INT NOT NULL,
  product_id INT NOT NULL,
  quantity SMALLINT NOT NULL,
  unit_price DECIMAL(10,2) NOT NULL,
  PRIMARY KEY (order_id, product_id),
  CONSTRAINT fk_items_order FOREIGN KEY (order_id) REFERENCES orders (id),
  CONSTRAINT fk_items_product FOREIGN KEY (product_id) REFERENCES products (id)
) ENGINE=InnoDB;

INSERT INTO customers
SELECT seq,
       CONCAT(ELT(1 + seq % 8, 'Zoë', 'José', 'Łukasz', 'Søren', 'Ἀθηνᾶ', '李雷', 'Zoltán', 'Ångström'),
              ' ', ELT(1 + (seq * 7) % 6, 'Müller', 'Ødegaard', 'Nováková', 'Ibáñez', 'Петрова', 'O''Brien'),
              ' #', seq),
       ELT(1 + (seq * 3) % 8, 'Zürich', 'São Paulo', 'Kraków', 'Москва', '東京', 'Reykjavík', 'Besançon', 'Malmö'),
       IF(seq % 5 = 0, NULL, CONCAT('customer', seq, '@example.org')),
       DATE '2015-01-01' + INTERVAL (seq * 37) % 3650 DAY,
       ROUND((seq * 7919) % 100000 / 100, 2),
       seq % 11 = 0
FROM seq_1_to_300;

INSERT INTO products
SELECT seq,
       CONCAT(ELT(1 + seq % 6, 'Café', 'Crème', 'Smørrebrød', 'Pâté', 'Jalapeño', 'Größe'),
              ' ', ELT(1 + seq % 4, 'small', 'medium', 'large', '— deluxe'), ' ', seq),
       ROUND(1 + (seq * 1237) % 50000 / 100, 2),
       (seq * 13) % 97 / 7.0,
       IF(seq % 4 = 0, NULL, CONCAT('Line one of ', seq, CHAR(10), 'line two: ½ price on Tuesdays')),
       TIMESTAMP '2020-03-01 08:00:00' + INTERVAL seq * 91 MINUTE
FROM seq_1_to_60;

INSERT INTO orders
SELECT seq,
       1 + (seq * 17) % 300,
       TIMESTAMP '2023-01-01 00:00:00' + INTERVAL (seq * 4999) % 31536000 SECOND,
       ELT(1 + seq % 4, 'new', 'paid', 'shipped', 'cancelled'),
       IF(seq % 3 = 0, CONCAT('Bitte an der Tür abgeben – order ', seq), NULL)
FROM seq_1_to_2000;

INSERT INTO order_items
SELECT o.id, 1 + (o.id * 7) % 60, 1 + o.id % 5, p.price
FROM orders o JOIN products p ON p.id = 1 + (o.id * 7) % 60;

INSERT INTO order_items
SELECT o.id, 1 + (o.id * 13 + 5) % 60, 1 + o.id % 3, p.price
FROM orders o JOIN products p ON p.id = 1 + (o.id * 13 + 5) % 60;
