-- The demo's sample database: a small shop. Loaded by scripts/demo into the private MariaDB
-- server (replacing an earlier copy). Text is utf8mb4 with accents and emoji; there are
-- decimals, dates, a BLOB, an auto-increment key, a unique index, foreign keys and a view.
SET NAMES utf8mb4;
DROP DATABASE IF EXISTS qvx_demo_shop;
CREATE DATABASE qvx_demo_shop CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
USE qvx_demo_shop;

CREATE TABLE customers (
    id INT NOT NULL AUTO_INCREMENT,
    email VARCHAR(120) NOT NULL,
    name VARCHAR(80) NOT NULL,
    city VARCHAR(60) NULL,
    joined DATETIME NOT NULL DEFAULT '2024-01-01 00:00:00',
    PRIMARY KEY (id),
    UNIQUE KEY uq_customers_email (email)
) ENGINE=InnoDB;

CREATE TABLE products (
    id INT NOT NULL AUTO_INCREMENT,
    sku CHAR(8) NOT NULL,
    title VARCHAR(100) NOT NULL,
    price DECIMAL(10,2) NOT NULL,
    weight_kg DOUBLE NULL,
    photo BLOB NULL,
    PRIMARY KEY (id),
    UNIQUE KEY uq_products_sku (sku)
) ENGINE=InnoDB;

CREATE TABLE orders (
    id INT NOT NULL AUTO_INCREMENT,
    customer_id INT NOT NULL,
    ordered_on DATE NOT NULL,
    note TEXT NULL,
    PRIMARY KEY (id),
    KEY ix_orders_customer (customer_id),
    CONSTRAINT fk_orders_customer FOREIGN KEY (customer_id) REFERENCES customers (id)
) ENGINE=InnoDB;

CREATE TABLE order_lines (
    order_id INT NOT NULL,
    line_no SMALLINT NOT NULL,
    product_id INT NOT NULL,
    quantity INT NOT NULL DEFAULT 1,
    unit_price DECIMAL(10,2) NOT NULL,
    PRIMARY KEY (order_id, line_no),
    CONSTRAINT fk_lines_order FOREIGN KEY (order_id) REFERENCES orders (id),
    CONSTRAINT fk_lines_product FOREIGN KEY (product_id) REFERENCES products (id)
) ENGINE=InnoDB;

CREATE VIEW order_totals AS
    SELECT o.id AS order_id, c.name AS customer, SUM(l.quantity * l.unit_price) AS total
    FROM orders o
    JOIN customers c ON c.id = o.customer_id
    JOIN order_lines l ON l.order_id = o.id
    GROUP BY o.id, c.name;

INSERT INTO customers (email, name, city, joined) VALUES
    ('zoe@example.org', 'Zoë Faßbender', 'Köln', '2024-02-03 09:15:00'),
    ('jose@example.org', 'José Núñez', 'Málaga', '2024-03-11 17:42:05'),
    ('amelie@example.org', 'Amélie Lefèvre 🌻', NULL, '2024-04-30 23:59:59'),
    ('li@example.org', '李雷', 'Shanghai', DEFAULT);

INSERT INTO products (sku, title, price, weight_kg, photo) VALUES
    ('TEA-0001', 'Green tea 🍵, 100 g', 4.95, 0.1, NULL),
    ('MUG-0002', 'Crème brûlée mug', 12.50, 0.35, X'89504E470D0A1A0A0000000D49484452'),
    ('BAG-0003', 'Canvas bag "Café"', 19.00, NULL, X'00FF7F80'),
    ('PEN-0004', 'Fountain pen ✒️', 149.99, 0.025, NULL);

INSERT INTO orders (customer_id, ordered_on, note) VALUES
    (1, '2024-05-01', 'Bitte klingeln 🔔'),
    (2, '2024-05-02', NULL),
    (1, '2024-05-17', 'Gift wrap, it''s a present'),
    (4, '2024-06-30', 'Leave at the door');

INSERT INTO order_lines (order_id, line_no, product_id, quantity, unit_price) VALUES
    (1, 1, 1, 3, 4.95),
    (1, 2, 2, 1, 12.50),
    (2, 1, 4, 1, 149.99),
    (3, 1, 3, 2, 19.00),
    (3, 2, 1, 1, 4.95),
    (4, 1, 2, 6, 11.75);
